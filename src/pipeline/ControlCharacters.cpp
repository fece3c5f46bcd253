#include "pipeline/ControlCharacters.h"

#include <algorithm>

namespace keelwick {
namespace {

bool isBidiControl(char16_t character) {
    return (character >= 0x202A && character <= 0x202E) ||
           (character >= 0x2066 && character <= 0x2069);
}

/// The line and paragraph separators, which editors and some terminals break lines at.
bool isLineSeparator(char16_t character) {
    return character == 0x2028 || character == 0x2029;
}

bool needsEscape(QChar character) {
    const char16_t code = character.unicode();
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || isBidiControl(code) ||
           isLineSeparator(code);
}

QString escapeOf(char16_t code) {
    switch (code) {
        case u'\n':
            return QStringLiteral("\\n");
        case u'\t':
            return QStringLiteral("\\t");
        case u'\r':
            return QStringLiteral("\\r");
        case 0x1B:
            return QStringLiteral("\\e");
        default:
            break;
    }
    if (code <= 0x7F) {
        return QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
    }
    return QStringLiteral("\\u%1").arg(code, 4, 16, QLatin1Char('0'));
}

}  // namespace

QString escapeControlCharacters(const QString& text) {
    if (std::none_of(text.cbegin(), text.cend(), needsEscape)) {
        return text;
    }
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (const QChar character : text) {
        if (needsEscape(character)) {
            escaped += escapeOf(character.unicode());
        } else {
            escaped += character;
        }
    }
    return escaped;
}

}  // namespace keelwick
