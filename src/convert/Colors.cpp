#include "convert/Colors.h"

#include "convert/PathGeometry.h"
#include "convert/SvgText.h"

#include <algorithm>
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

}  // namespace

ParsedColor parseColor(const QString* text, const QString& fallback) {
    if (!text) {
        return {fallback, std::nullopt};
    }
    const std::vector<double> numbers = parseNumbers(*text);
    if (numbers.size() < 3) {
        // A colour name passes through; escaped, so no text can break the SVG's markup.
        return {escapeXML(*text), std::nullopt};
    }
    if (text->startsWith(QLatin1StringView("cmyka")) && numbers.size() >= 5) {
        const double black = numbers[3];
        const double red = (1 - std::min(1.0, numbers[0] + black)) * 255;
        const double green = (1 - std::min(1.0, numbers[1] + black)) * 255;
        const double blue = (1 - std::min(1.0, numbers[2] + black)) * 255;
        return {rgbText(red, green, blue), format(numbers[4])};
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
    return {rgbText(red, green, blue), format(alpha)};
}

}  // namespace keelwick
