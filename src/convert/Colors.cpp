#include "convert/internal/Colors.h"

#include "convert/internal/PathGeometry.h"
#include "convert/internal/SvgText.h"

#include <QSet>
#include <QStringList>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace keelwick {

namespace {

/// Rounds half away from zero to a whole number. A component far outside 0 to 255 can only
/// come from an exponent in the colour text; it is clamped to the 64-bit range instead of
/// overflowing, and a component that is not a number at all becomes 0.
std::int64_t roundedComponent(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double rounded = std::round(value);
    constexpr double limit = 9223372036854775807.0;  // 2^63, the first double past INT64_MAX
    if (rounded >= limit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (rounded <= -limit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(rounded);
}

QString rgbText(double red, double green, double blue) {
    char buffer[80] = "rgb(";
    char* cursor = buffer + 4;
    char* const end = buffer + sizeof buffer;
    for (double component : {red, green, blue}) {
        cursor = std::to_chars(cursor, end, roundedComponent(component)).ptr;
        *cursor++ = ' ';
    }
    cursor[-1] = ')';
    return QString::fromLatin1(buffer, cursor - buffer);
}

/// The CSS named colours and the keywords "currentcolor", "none" and "transparent", lowercase.
const QSet<QString>& colorKeywords() {
    static const QSet<QString> keywords = [] {
        const QString names = QStringLiteral(
            "aliceblue antiquewhite aqua aquamarine azure beige bisque black blanchedalmond blue "
            "blueviolet brown burlywood cadetblue chartreuse chocolate coral cornflowerblue "
            "cornsilk crimson currentcolor cyan darkblue darkcyan darkgoldenrod darkgray "
            "darkgreen darkgrey darkkhaki darkmagenta darkolivegreen darkorange darkorchid "
            "darkred darksalmon darkseagreen darkslateblue darkslategray darkslategrey "
            "darkturquoise darkviolet deeppink deepskyblue dimgray dimgrey dodgerblue firebrick "
            "floralwhite forestgreen fuchsia gainsboro ghostwhite gold goldenrod gray green "
            "greenyellow grey honeydew hotpink indianred indigo ivory khaki lavender "
            "lavenderblush lawngreen lemonchiffon lightblue lightcoral lightcyan "
            "lightgoldenrodyellow lightgray lightgreen lightgrey lightpink lightsalmon "
            "lightseagreen lightskyblue lightslategray lightslategrey lightsteelblue lightyellow "
            "lime limegreen linen magenta maroon mediumaquamarine mediumblue mediumorchid "
            "mediumpurple mediumseagreen mediumslateblue mediumspringgreen mediumturquoise "
            "mediumvioletred midnightblue mintcream mistyrose moccasin navajowhite navy none "
            "oldlace olive olivedrab orange orangered orchid palegoldenrod palegreen "
            "paleturquoise palevioletred papayawhip peachpuff peru pink plum powderblue purple "
            "rebeccapurple red rosybrown royalblue saddlebrown salmon sandybrown seagreen "
            "seashell sienna silver skyblue slateblue slategray slategrey snow springgreen "
            "steelblue tan teal thistle tomato transparent turquoise violet wheat white "
            "whitesmoke yellow yellowgreen");
        const QStringList list = names.split(u' ');
        return QSet<QString>(list.begin(), list.end());
    }();
    return keywords;
}

bool isCSSWhiteSpace(QChar character) {
    const char16_t unit = character.unicode();
    return unit == u' ' || unit == u'\t' || unit == u'\n' || unit == u'\r' || unit == u'\f';
}

QStringView trimmedCSS(QStringView text) {
    while (!text.isEmpty() && isCSSWhiteSpace(text.front())) {
        text = text.sliced(1);
    }
    while (!text.isEmpty() && isCSSWhiteSpace(text.back())) {
        text.chop(1);
    }
    return text;
}

/// CSS compares keywords ASCII case-insensitively: no other letter may lower into a name.
bool isColorKeyword(QStringView text) {
    const bool isASCII = std::all_of(text.begin(), text.end(),
                                     [](QChar character) { return character.unicode() < 128; });
    return isASCII && text.size() <= 32 && colorKeywords().contains(text.toString().toLower());
}

bool isHexColor(QStringView text) {
    if (!text.startsWith(u'#')) {
        return false;
    }
    const QStringView digits = text.sliced(1);
    const qsizetype count = digits.size();
    if (count != 3 && count != 4 && count != 6 && count != 8) {
        return false;
    }
    return std::all_of(digits.begin(), digits.end(), [](QChar character) {
        return character.unicode() < 128 && std::isxdigit(character.unicode());
    });
}

/// Advances `at` past the digits from it; whether there was at least one.
bool skipDigits(QStringView text, qsizetype& at) {
    const qsizetype start = at;
    while (at < text.size() && text[at] >= u'0' && text[at] <= u'9') {
        ++at;
    }
    return at > start;
}

/// Advances `at` past one CSS number with an optional "%" or "deg" unit; false, with `at`
/// anywhere, when none starts there.
bool skipNumber(QStringView text, qsizetype& at) {
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) {
        ++at;
    }
    const bool hasWhole = skipDigits(text, at);
    if (at < text.size() && text[at] == u'.') {
        ++at;
        if (!skipDigits(text, at)) {
            return false;
        }
    } else if (!hasWhole) {
        return false;
    }
    if (at < text.size() && (text[at] == u'e' || text[at] == u'E')) {
        qsizetype exponent = at + 1;
        if (exponent < text.size() && (text[exponent] == u'+' || text[exponent] == u'-')) {
            ++exponent;
        }
        if (skipDigits(text, exponent)) {
            at = exponent;
        }
    }
    if (at < text.size() && text[at] == u'%') {
        ++at;
    } else if (text.sliced(at).startsWith(u"deg", Qt::CaseInsensitive)) {
        at += 3;
    }
    return true;
}

/// rgb(), rgba(), hsl() or hsla() holding only numbers and separators.
bool isNumberFunction(QStringView text) {
    const qsizetype open = text.indexOf(u'(');
    if (open < 0 || !text.endsWith(u')')) {
        return false;
    }
    const QStringView name = text.first(open);
    const bool isKnown = name.compare(u"rgb", Qt::CaseInsensitive) == 0 ||
                         name.compare(u"rgba", Qt::CaseInsensitive) == 0 ||
                         name.compare(u"hsl", Qt::CaseInsensitive) == 0 ||
                         name.compare(u"hsla", Qt::CaseInsensitive) == 0;
    if (!isKnown) {
        return false;
    }
    const QStringView arguments = text.sliced(open + 1, text.size() - open - 2);
    qsizetype at = 0;
    bool isFirst = true;
    while (true) {
        const qsizetype separatorStart = at;
        while (at < arguments.size() &&
               (isCSSWhiteSpace(arguments[at]) || arguments[at] == u',' || arguments[at] == u'/')) {
            ++at;
        }
        if (at == arguments.size()) {
            return true;
        }
        // Numbers need something between them: "1-2" is not two numbers here.
        if (!isFirst && at == separatorStart) {
            return false;
        }
        if (!skipNumber(arguments, at)) {
            return false;
        }
        isFirst = false;
    }
}

/// The colour text as a comment may quote it: control characters replaced (a comment line
/// stays one line) and a long text shortened.
QString quotedColorText(QStringView text) {
    constexpr qsizetype shownLength = 64;
    QString quoted;
    for (QChar character : text.first(std::min(text.size(), shownLength))) {
        const char16_t unit = character.unicode();
        const bool isControl = unit < 0x20 || (unit >= 0x7F && unit < 0xA0);
        quoted += isControl ? QChar(QChar::ReplacementCharacter) : character;
    }
    if (text.size() > shownLength) {
        if (!quoted.isEmpty() && quoted.back().isHighSurrogate()) {
            quoted.chop(1);
        }
        quoted += QChar(0x2026);
    }
    return quoted;
}

}  // namespace

bool isCSSColorToken(QStringView text) {
    const QStringView token = trimmedCSS(text);
    return isColorKeyword(token) || isHexColor(token) || isNumberFunction(token);
}

ParsedColor parseColor(const QString* text, const QString& fallback) {
    if (!text) {
        return {fallback, std::nullopt, std::nullopt};
    }
    const std::vector<double> numbers = parseNumbers(*text);
    if (numbers.size() < 3) {
        if (isCSSColorToken(*text)) {
            // Escaping changes no token; it stays as a guard on the markup.
            return {escapeXML(*text), std::nullopt, std::nullopt};
        }
        return {fallback, std::nullopt,
                QStringLiteral("Colour \"") + quotedColorText(*text) +
                    QStringLiteral("\" was not understood; used ") + fallback +
                    QStringLiteral(" instead.")};
    }
    if (text->startsWith(QLatin1StringView("cmyka")) && numbers.size() >= 5) {
        const double black = numbers[3];
        const double red = (1 - std::min(1.0, numbers[0] + black)) * 255;
        const double green = (1 - std::min(1.0, numbers[1] + black)) * 255;
        const double blue = (1 - std::min(1.0, numbers[2] + black)) * 255;
        return {rgbText(red, green, blue), format(numbers[4]), std::nullopt};
    }
    double red = numbers[0];
    double green = numbers[1];
    double blue = numbers[2];
    if (std::max({red, green, blue}) <= 1) {
        red *= 255;
        green *= 255;
        blue *= 255;
    }
    const double alpha = numbers.size() >= 4 ? numbers[3] : 1;
    return {rgbText(red, green, blue), format(alpha), std::nullopt};
}

}  // namespace keelwick
