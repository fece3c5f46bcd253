#pragma once

#include <QDateTime>
#include <QString>

namespace keelwick {

/// The time stamp of logs and reports: an ISO 8601 internet date-time in the user's current
/// time zone, with seconds and no fractions, ending in the zone offset or "Z" when the
/// offset is zero, as in "2024-03-05T14:07:09+01:00".
QString internetDateTime(const QDateTime& moment);

}  // namespace keelwick
