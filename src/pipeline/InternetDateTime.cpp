#include "pipeline/InternetDateTime.h"

#include <cstdlib>

namespace keelwick {
namespace {

QString twoDigits(int value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// "Z" for UTC, else "+hh:mm"; historical offsets that are not whole minutes keep their
// seconds ("+00:19:32") rather than being rounded to another time.
QString zoneOffset(int offsetSeconds) {
    if (offsetSeconds == 0) {
        return QStringLiteral("Z");
    }
    const int magnitude = std::abs(offsetSeconds);
    QString text = (offsetSeconds < 0 ? QStringLiteral("-") : QStringLiteral("+")) +
                   twoDigits(magnitude / 3600) + u':' + twoDigits(magnitude / 60 % 60);
    if (magnitude % 60 != 0) {
        text += u':' + twoDigits(magnitude % 60);
    }
    return text;
}

}  // namespace

QString internetDateTime(const QDateTime& moment) {
    const QDateTime local = moment.toLocalTime();
    const QDate date = local.date();
    const QTime time = local.time();
    // Built by hand so that neither the locale nor Qt's ISO variant (which may add
    // fractions) shapes the text.
    return QStringLiteral("%1-%2-%3T%4:%5:%6")
               .arg(date.year(), 4, 10, QLatin1Char('0'))
               .arg(twoDigits(date.month()), twoDigits(date.day()), twoDigits(time.hour()),
                    twoDigits(time.minute()), twoDigits(time.second())) +
           zoneOffset(local.offsetFromUtc());
}

}  // namespace keelwick
