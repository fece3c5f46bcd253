#include "convert/internal/SvgText.h"

#include <charconv>
#include <cmath>

namespace keelwick {

QString format(double value) {
    if (!std::isfinite(value)) {
        return QStringLiteral("0");
    }
    // to_chars with a precision prints exactly as printf's "%.6f" in the C locale.
    char buffer[400];
    auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    if (error != std::errc()) {
        return QStringLiteral("0");
    }
    std::size_t length = static_cast<std::size_t>(end - buffer);
    while (length > 0 && buffer[length - 1] == '0') {
        --length;  // the text always holds a point here: six decimals were printed
    }
    if (length > 0 && buffer[length - 1] == '.') {
        --length;
    }
    return QString::fromLatin1(buffer, static_cast<qsizetype>(length));
}

namespace {

bool isForbiddenInXML(char16_t unit) {
    return (unit < 0x20 && unit != u'\t' && unit != u'\n' && unit != u'\r') || unit == 0xFFFE ||
           unit == 0xFFFF;
}

}  // namespace

QString escapeXML(QStringView text) {
    QString escaped;
    escaped.reserve(text.size() + 16);
    const qsizetype count = text.size();
    for (qsizetype i = 0; i < count; ++i) {
        const char16_t unit = text[i].unicode();
        switch (unit) {
            case u'&':
                escaped += QLatin1StringView("&amp;");
                continue;
            case u'"':
                escaped += QLatin1StringView("&quot;");
                continue;
            case u'\'':
                escaped += QLatin1StringView("&apos;");
                continue;
            case u'<':
                escaped += QLatin1StringView("&lt;");
                continue;
            case u'>':
                escaped += QLatin1StringView("&gt;");
                continue;
            default:
                break;
        }
        if (QChar::isHighSurrogate(unit) && i + 1 < count &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            escaped += text[i];
            escaped += text[i + 1];
            ++i;
        } else if (QChar::isSurrogate(unit) || isForbiddenInXML(unit)) {
            escaped += QChar(QChar::ReplacementCharacter);
        } else {
            escaped += text[i];
        }
    }
    return escaped;
}

QString commentText(QStringView text) {
    QString body = escapeXML(text);
    while (body.contains(QLatin1StringView("--"))) {
        body.replace(QLatin1StringView("--"), QLatin1StringView("- -"));
    }
    return body;
}

QString commentLine(QStringView indent, QStringView text) {
    return indent.toString() + QLatin1StringView("<!-- ") + commentText(text) +
           QLatin1StringView(" -->");
}

QString attribute(QStringView name, const QString& value) {
    return attribute(name, QStringView(value));
}

QString attribute(QStringView name, QStringView value) {
    QString text;
    text.reserve(name.size() + value.size() + 3);
    text += name;
    text += QLatin1StringView("=\"");
    text += value;
    text += QLatin1Char('"');
    return text;
}

}  // namespace keelwick
