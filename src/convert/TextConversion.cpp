#include "convert/internal/Colors.h"
#include "convert/internal/PathGeometry.h"
#include "convert/internal/SvgDocumentBuilder.h"
#include "convert/internal/SvgText.h"

#include <cmath>

namespace keelwick {

QString SvgDocumentBuilder::textAnchor(const PropertyListDictionary& shape) {
    const std::optional<std::int64_t> alignment = integerValue(shape, u"TextAlignment");
    if (alignment == 1) {
        return QStringLiteral("end");
    }
    if (alignment == 2) {
        return QStringLiteral("middle");
    }
    return QStringLiteral("start");
}

namespace {

/// The first run's value, falling back to the shape's, falling back to `fallback`.
double runNumber(const PropertyListDictionary& run, const PropertyListDictionary& shape,
                 QStringView key, double fallback) {
    return number(run, key, number(shape, key, fallback));
}

QString runFontName(const PropertyListDictionary& run, const PropertyListDictionary& shape) {
    if (const QString* name = stringPointer(run, u"FontName")) {
        return *name;
    }
    if (const QString* name = stringPointer(shape, u"FontName")) {
        return *name;
    }
    return QStringLiteral("sans-serif");
}

/// Rows longer than this are measured piecewise (row width plus the width of the next word
/// with its space) instead of whole, so that a huge text in a huge box cannot make wrapping
/// quadratic. No real drawing has a row this long.
constexpr qsizetype kWholeRowMeasureLimit = 2000;

}  // namespace

Lines SvgDocumentBuilder::convertText(const PropertyListDictionary& shape, SVGContext& context,
                                      const QString& indent) const {
    const std::vector<double> position = parseNumbers(stringPointer(shape, u"Position"));
    const bool hasPosition = position.size() >= 2;
    const double x = hasPosition ? position[0] : 0;
    const double y = hasPosition ? position[1] : 0;
    const QString anchor = textAnchor(shape);
    const double opacity = number(shape, u"Opacity", 1);
    // Only the filter and the comments apply to text; its colour comes from "TextColor".
    const StyleInfo info = style(dictionaryList(shape, u"Appearance"), context);

    QStringList elementAttributes{attribute(u"x", format(x)), attribute(u"y", format(y)),
                                  attribute(u"text-anchor", anchor),
                                  attribute(u"dominant-baseline", u"central")};
    if (info.filter) {
        elementAttributes.append(attribute(u"filter", *info.filter));
    }
    if (opacity != 1) {
        elementAttributes.append(attribute(u"opacity", format(opacity)));
    }

    const std::vector<const PropertyListDictionary*> runs = dictionaryList(shape, u"TextSpans");
    QString text;
    if (const QString* whole = stringPointer(shape, u"Text")) {
        text = *whole;
    } else {
        for (const PropertyListDictionary* run : runs) {
            if (const QString* piece = stringPointer(*run, u"Text")) {
                text += *piece;
            }
        }
    }
    const PropertyListDictionary& source = runs.empty() ? shape : *runs.front();
    const double fontSize = runNumber(source, shape, u"FontSize", 12);
    const double lineHeight = runNumber(source, shape, u"LineHeight", 1.2);
    const QString fontName = runFontName(source, shape);
    const PropertyListValue* runKerning = findValue(source, u"Kerning");
    const double kerning = runKerning ? number(runKerning, 0) : number(shape, u"Kerning", 0);

    std::optional<Bounds> box;
    if (const QString* path = stringPointer(shape, u"Path")) {
        box = pathBounds(*path, x, y);
    }
    std::optional<double> maxWidth;
    if (box) {
        maxWidth = box->maxX - box->minX;
    }
    const QStringList rows = wrappedTextRows(text, maxWidth, fontName, fontSize, kerning);
    QStringList comments = info.comments;
    const QStringList runAttributes = textAttributes(source, shape, comments);

    Lines lines;
    for (const QString& comment : std::as_const(comments)) {
        lines.append(commentLine(indent, comment));
    }
    if (rows.size() < 2) {
        lines.append(indent + QLatin1StringView("<text ") +
                     (elementAttributes + runAttributes).join(QLatin1Char(' ')) + QLatin1Char('>') +
                     escapeXML(rows.value(0)) + QLatin1StringView("</text>"));
        return lines;
    }

    double rowX = x;
    double firstRowY = y;
    if (box) {
        if (anchor == QLatin1StringView("end")) {
            rowX = box->maxX;
        } else if (anchor == QLatin1StringView("middle")) {
            rowX = box->minX + (box->maxX - box->minX) * 0.5;
        } else {
            rowX = box->minX;
        }
        firstRowY = box->minY + fontSize * lineHeight * 0.8;
    }
    const QString advance = format(fontSize * lineHeight);
    const QString runText = runAttributes.join(QLatin1Char(' '));
    lines.append(indent + QLatin1StringView("<text ") + elementAttributes.join(QLatin1Char(' ')) +
                 QLatin1Char('>'));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QString placement =
            i == 0 ? attribute(u"y", format(firstRowY)) : attribute(u"dy", advance);
        lines.append(indent + QLatin1StringView("  <tspan ") + runText + QLatin1Char(' ') +
                     attribute(u"x", format(rowX)) + QLatin1Char(' ') + placement +
                     QLatin1Char('>') + escapeXML(rows[i]) + QLatin1StringView("</tspan>"));
    }
    lines.append(indent + QLatin1StringView("</text>"));
    return lines;
}

QStringList SvgDocumentBuilder::textAttributes(const PropertyListDictionary& run,
                                               const PropertyListDictionary& fallback,
                                               QStringList& comments) const {
    const ParsedColor color = parseColor(stringPointer(run, u"TextColor"), QStringLiteral("black"));
    if (color.warning) {
        comments.append(*color.warning);
    }
    QStringList attributes{
        attribute(u"font-family", escapeXML(runFontName(run, fallback))),
        attribute(u"font-size", format(runNumber(run, fallback, u"FontSize", 12))),
        attribute(u"fill", color.color)};
    if (color.opacity) {
        attributes.append(attribute(u"fill-opacity", *color.opacity));
    }
    if (const PropertyListValue* kerning = findValue(run, u"Kerning")) {
        attributes.append(attribute(u"letter-spacing", format(number(kerning, 0))));
    }
    return attributes;
}

QStringList SvgDocumentBuilder::wrappedTextRows(const QString& text, std::optional<double> maxWidth,
                                                const QString& fontName, double fontSize,
                                                double kerning) const {
    QString normalized = text;
    normalized.replace(QLatin1StringView("\r\n"), QLatin1StringView("\n"));
    normalized.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList paragraphs = normalized.split(QLatin1Char('\n'));
    if (!maxWidth || *maxWidth <= 0) {
        return paragraphs;
    }

    auto fits = [&](double width) { return std::ceil(width) <= *maxWidth; };
    QStringList rows;
    for (const QString& paragraph : paragraphs) {
        const QStringList words = paragraph.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() < 2) {
            rows.append(paragraph);
            continue;
        }
        QString current = words.front();
        double currentWidth = -1;  // measured only when the piecewise rule needs it
        for (qsizetype i = 1; i < words.size(); ++i) {
            const QString& word = words[i];
            if (current.size() + 1 + word.size() <= kWholeRowMeasureLimit) {
                QString candidate = current + QLatin1Char(' ') + word;
                const double width = measurer_.width(candidate, fontName, fontSize, kerning);
                if (fits(width)) {
                    current = std::move(candidate);
                    currentWidth = width;
                    continue;
                }
            } else {
                if (currentWidth < 0) {
                    currentWidth = measurer_.width(current, fontName, fontSize, kerning);
                }
                const double width = currentWidth + measurer_.width(QLatin1Char(' ') + word,
                                                                    fontName, fontSize, kerning);
                if (fits(width)) {
                    current += QLatin1Char(' ');
                    current += word;
                    currentWidth = width;
                    continue;
                }
            }
            rows.append(current);
            current = word;
            currentWidth = -1;
        }
        rows.append(current);
    }
    return rows;
}

}  // namespace keelwick
