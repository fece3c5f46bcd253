#include "convert/internal/PathGeometry.h"

#include "convert/internal/SvgText.h"

#include <QRegularExpression>

#include <locale.h>
#include <array>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <string>

namespace keelwick {

Bounds Bounds::united(const Bounds& other) const {
    return Bounds{std::min(minX, other.minX), std::min(minY, other.minY),
                  std::max(maxX, other.maxX), std::max(maxY, other.maxY)};
}

QStringList regexMatches(const QString& pattern, const QString& text) {
    // The platform engines match \d and \w over all of Unicode; so does this one.
    const QRegularExpression expression(pattern, QRegularExpression::UseUnicodePropertiesOption);
    QStringList matches;
    if (!expression.isValid()) {
        return matches;
    }
    auto iterator = expression.globalMatch(text);
    while (iterator.hasNext()) {
        matches.append(iterator.next().captured(0));
    }
    return matches;
}

namespace {

// The number grammar of drawing geometry, "[-+]?(?:\d+\.\d*|\.\d+|\d+)(?:[eE][-+]?\d+)?",
// scanned by hand: the canvas of every drawing depends on it, and a regular-expression engine
// costs several times more per shape. `\d` is any Unicode decimal digit, as the platform's
// engine has it; such a match then fails the decimal conversion and is dropped.

struct Scalar {
    char32_t value;
    qsizetype width;  // UTF-16 units
};

Scalar scalarAt(QStringView text, qsizetype index) {
    const char16_t unit = text[index].unicode();
    if (QChar::isHighSurrogate(unit) && index + 1 < text.size() &&
        QChar::isLowSurrogate(text[index + 1].unicode())) {
        return {QChar::surrogateToUcs4(unit, text[index + 1].unicode()), 2};
    }
    return {unit, 1};
}

bool isDigitAt(QStringView text, qsizetype index) {
    if (index >= text.size()) {
        return false;
    }
    const char16_t unit = text[index].unicode();
    if (unit >= u'0' && unit <= u'9') {
        return true;
    }
    if (unit < 0x80) {
        return false;
    }
    return QChar::category(scalarAt(text, index).value) == QChar::Number_DecimalDigit;
}

qsizetype digitsEnd(QStringView text, qsizetype index) {
    while (isDigitAt(text, index)) {
        index += scalarAt(text, index).width;
    }
    return index;
}

/// The end of the number that starts exactly at `start` (sign included), or -1.
qsizetype numberEnd(QStringView text, qsizetype start) {
    qsizetype index = start;
    const qsizetype size = text.size();
    if (index < size && (text[index] == u'-' || text[index] == u'+')) {
        ++index;
    }
    qsizetype end = -1;
    const qsizetype integerEnd = digitsEnd(text, index);
    if (integerEnd > index) {
        end = integerEnd;
        if (end < size && text[end] == u'.') {
            end = digitsEnd(text, end + 1);
        }
    } else if (index < size && text[index] == u'.') {
        const qsizetype fractionEnd = digitsEnd(text, index + 1);
        if (fractionEnd > index + 1) {
            end = fractionEnd;
        }
    }
    if (end < 0) {
        return -1;
    }
    if (end < size && (text[end] == u'e' || text[end] == u'E')) {
        qsizetype exponent = end + 1;
        if (exponent < size && (text[exponent] == u'-' || text[exponent] == u'+')) {
            ++exponent;
        }
        const qsizetype exponentEnd = digitsEnd(text, exponent);
        if (exponentEnd > exponent) {
            end = exponentEnd;
        }
    }
    return end;
}

locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

/// The locale-independent decimal conversion; absent for text with non-ASCII digits.
std::optional<double> decimalValue(QStringView token) {
    std::array<char, 64> shortBuffer;
    std::string longBuffer;
    char* buffer = shortBuffer.data();
    if (token.size() >= static_cast<qsizetype>(shortBuffer.size())) {
        longBuffer.resize(static_cast<std::size_t>(token.size()) + 1);
        buffer = longBuffer.data();
    }
    for (qsizetype i = 0; i < token.size(); ++i) {
        const char16_t unit = token[i].unicode();
        if (unit >= 0x80) {
            return std::nullopt;
        }
        buffer[i] = static_cast<char>(unit);
    }
    buffer[token.size()] = '\0';
    // from_chars is exact and fast but takes no "+" and reports overflow instead of
    // giving infinity; strtod_l covers those rare cases.
    const char* first = buffer[0] == '+' ? buffer + 1 : buffer;
    const char* last = buffer + token.size();
    double value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error == std::errc() && end == last) {
        return value;
    }
    char* parsedEnd = nullptr;
    value = strtod_l(buffer, &parsedEnd, cLocale());
    if (parsedEnd != last) {
        return std::nullopt;
    }
    return value;
}

bool isCommandLetter(char16_t unit) {
    switch (unit) {
        case u'M':
        case u'L':
        case u'C':
        case u'Q':
        case u'Z':
        case u'm':
        case u'l':
        case u'c':
        case u'q':
        case u'z':
            return true;
        default:
            return false;
    }
}

/// Calls `onNumber(start, end)` for every number match, left to right.
template <typename OnNumber>
void scanNumbers(QStringView text, OnNumber onNumber) {
    qsizetype index = 0;
    const qsizetype size = text.size();
    while (index < size) {
        const qsizetype end = numberEnd(text, index);
        if (end > index) {
            onNumber(index, end);
            index = end;
        } else {
            ++index;
        }
    }
}

struct PathToken {
    char command;  // upper-case letter, or 0 for a number
    double value;
};

std::vector<PathToken> pathTokens(QStringView pathData) {
    std::vector<PathToken> tokens;
    qsizetype index = 0;
    const qsizetype size = pathData.size();
    while (index < size) {
        const char16_t unit = pathData[index].unicode();
        if (isCommandLetter(unit)) {
            tokens.push_back({static_cast<char>(QChar::toUpper(unit)), 0});
            ++index;
            continue;
        }
        const qsizetype end = numberEnd(pathData, index);
        if (end > index) {
            // A number that does not convert counts as 0.
            tokens.push_back({0, decimalValue(pathData.sliced(index, end - index)).value_or(0)});
            index = end;
        } else {
            ++index;
        }
    }
    return tokens;
}

int numbersPerSegment(char command) {
    switch (command) {
        case 'M':
        case 'L':
            return 2;
        case 'C':
            return 6;
        case 'Q':
            return 4;
        default:
            return 0;
    }
}

}  // namespace

std::vector<double> parseNumbers(const QString& text) {
    std::vector<double> numbers;
    const QStringView view(text);
    scanNumbers(view, [&](qsizetype start, qsizetype end) {
        if (auto value = decimalValue(view.sliced(start, end - start))) {
            numbers.push_back(*value);
        }
    });
    return numbers;
}

std::vector<double> parseNumbers(const QString* text) {
    return text ? parseNumbers(*text) : std::vector<double>{};
}

std::optional<std::array<double, 6>> parseMatrix(const QString* text) {
    const std::vector<double> numbers = parseNumbers(text);
    if (numbers.size() < 6) {
        return std::nullopt;
    }
    std::array<double, 6> matrix;
    std::copy_n(numbers.begin(), 6, matrix.begin());
    return matrix;
}

std::optional<Bounds> pathBounds(QStringView pathData, double offsetX, double offsetY) {
    const std::vector<PathToken> tokens = pathTokens(pathData);
    std::optional<Bounds> bounds;
    auto addPoint = [&](double x, double y) {
        const Bounds point{x + offsetX, y + offsetY, x + offsetX, y + offsetY};
        bounds = bounds ? bounds->united(point) : point;
    };

    char current = 0;
    std::size_t index = 0;
    // Reads one segment of the current command from `index`; complete segments add points.
    auto readSegment = [&]() {
        const int wanted = numbersPerSegment(current);
        std::array<double, 6> taken{};
        int count = 0;
        while (count < wanted && index < tokens.size() && tokens[index].command == 0) {
            taken[static_cast<std::size_t>(count++)] = tokens[index++].value;
        }
        if (count == wanted) {
            for (int i = 0; i < wanted; i += 2) {
                addPoint(taken[static_cast<std::size_t>(i)],
                         taken[static_cast<std::size_t>(i + 1)]);
            }
        }
    };

    while (index < tokens.size()) {
        const PathToken& token = tokens[index];
        if (token.command != 0) {
            current = token.command;
            ++index;
            if (current != 'Z') {
                readSegment();
            }
        } else if (current == 0 || current == 'Z') {
            ++index;
        } else {
            readSegment();
        }
    }
    return bounds;
}

std::optional<QString> transformAttribute(const PropertyListDictionary& shape) {
    QStringList parts;
    if (auto matrix = parseMatrix(stringPointer(shape, u"FillTransform"))) {
        static constexpr std::array<double, 6> identity{1, 0, 0, 1, 0, 0};
        if (*matrix != identity) {
            QStringList numbers;
            for (double value : *matrix) {
                numbers.append(format(value));
            }
            parts.append(QLatin1StringView("matrix(") + numbers.join(QLatin1Char(' ')) +
                         QLatin1Char(')'));
        }
    }
    const std::vector<double> position = parseNumbers(stringPointer(shape, u"Position"));
    if (position.size() >= 2) {
        parts.append(QLatin1StringView("translate(") + format(position[0]) + QLatin1Char(' ') +
                     format(position[1]) + QLatin1Char(')'));
    }
    if (parts.isEmpty()) {
        return std::nullopt;
    }
    return parts.join(QLatin1Char(' '));
}

namespace {

void appendRecursively(const std::vector<const PropertyListDictionary*>& shapes, int depth,
                       std::vector<const PropertyListDictionary*>& out) {
    for (const PropertyListDictionary* shape : shapes) {
        out.push_back(shape);
        if (depth < kMaxNestingDepth) {
            appendRecursively(dictionaryList(*shape, u"Shapes"), depth + 1, out);
        }
    }
}

}  // namespace

std::vector<const PropertyListDictionary*> recursiveShapes(
    const std::vector<const PropertyListDictionary*>& shapes) {
    std::vector<const PropertyListDictionary*> all;
    appendRecursively(shapes, 1, all);
    return all;
}

std::optional<Bounds> documentBounds(const std::vector<const PropertyListDictionary*>& layers) {
    std::optional<Bounds> bounds;
    for (const PropertyListDictionary* layer : layers) {
        for (const PropertyListDictionary* shape :
             recursiveShapes(dictionaryList(*layer, u"Shapes"))) {
            const QString* path = stringPointer(*shape, u"Path");
            if (!path) {
                continue;
            }
            const std::vector<double> position = parseNumbers(stringPointer(*shape, u"Position"));
            const bool hasOffset = position.size() >= 2;
            if (auto shapeBounds =
                    pathBounds(*path, hasOffset ? position[0] : 0, hasOffset ? position[1] : 0)) {
                bounds = bounds ? bounds->united(*shapeBounds) : *shapeBounds;
            }
        }
    }
    return bounds;
}

}  // namespace keelwick
