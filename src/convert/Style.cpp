#include "convert/internal/Colors.h"
#include "convert/internal/PathGeometry.h"
#include "convert/internal/SvgDocumentBuilder.h"
#include "convert/internal/SvgText.h"

namespace keelwick {

namespace {

QString joinName(std::optional<std::int64_t> code) {
    if (code == 1) {
        return QStringLiteral("round");
    }
    if (code == 2) {
        return QStringLiteral("bevel");
    }
    return QStringLiteral("miter");
}

QString capName(std::optional<std::int64_t> code) {
    if (code == 1) {
        return QStringLiteral("round");
    }
    if (code == 2) {
        return QStringLiteral("square");
    }
    return QStringLiteral("butt");
}

/// The style being resolved; later fill and stroke items overwrite earlier ones.
struct StyleState {
    QString fill = QStringLiteral("none");
    std::optional<QString> fillOpacity;
    QString stroke = QStringLiteral("none");
    std::optional<QString> strokeOpacity;
    QString strokeWidth = QStringLiteral("0");
    QString join = QStringLiteral("miter");
    QString cap = QStringLiteral("butt");
    std::optional<QString> miterLimit;
    QStringList comments;

    void addWarning(const std::optional<QString>& warning) {
        if (warning) {
            comments.append(*warning);
        }
    }

    QString declarations() const {
        QString text;
        text.reserve(160);
        text += QLatin1StringView("fill:") + fill;
        text += QLatin1StringView(";stroke:") + stroke;
        text += QLatin1StringView(";stroke-width:") + strokeWidth;
        if (fillOpacity) {
            text += QLatin1StringView(";fill-opacity:") + *fillOpacity;
        }
        if (strokeOpacity) {
            text += QLatin1StringView(";stroke-opacity:") + *strokeOpacity;
        }
        if (stroke != QLatin1StringView("none")) {
            text += QLatin1StringView(";stroke-linejoin:") + join;
            text += QLatin1StringView(";stroke-linecap:") + cap;
            if (miterLimit) {
                text += QLatin1StringView(";stroke-miterlimit:") + *miterLimit;
            }
        }
        return text;
    }
};

}  // namespace

StyleInfo SvgDocumentBuilder::style(const AppearanceList& appearance, SVGContext& context) const {
    static const QString none = QStringLiteral("none");
    StyleState state;
    for (const PropertyListDictionary* item : appearance) {
        if (booleanValue(*item, u"Enabled") == false) {
            continue;
        }
        const QString* type = stringPointer(*item, u"Type");
        if (!type) {
            continue;
        }
        if (*type == QLatin1StringView("Fill")) {
            const std::optional<std::int64_t> fillType = integerValue(*item, u"FillType");
            const PropertyListDictionary* gradient = dictionaryValue(*item, u"FillGradient");
            const PropertyListDictionary* image = dictionaryValue(*item, u"FillImage");
            if (fillType == 2 && gradient) {
                state.fill = gradientFill(*gradient, context);
                state.fillOpacity.reset();
            } else if (fillType == 3 && image) {
                ImageFillResult result = imageFill(*image, context);
                state.fill = result.fill;
                state.fillOpacity.reset();
                state.addWarning(result.warning);
            } else {
                ParsedColor color = parseColor(stringPointer(*item, u"FillColor"), none);
                state.fill = color.color;
                state.fillOpacity = color.opacity;
                state.addWarning(color.warning);
            }
        } else if (*type == QLatin1StringView("Stroke")) {
            const double width = number(*item, u"LineWidth", 0);
            if (!(width > 0)) {
                continue;
            }
            ParsedColor color = parseColor(stringPointer(*item, u"LineColor"), none);
            state.stroke = color.color;
            state.strokeOpacity = color.opacity;
            state.addWarning(color.warning);
            state.strokeWidth = format(width);
            state.join = joinName(integerValue(*item, u"LineJoin"));
            state.cap = capName(integerValue(*item, u"LineCap"));
            if (const PropertyListValue* miter = findValue(*item, u"LineMiter")) {
                state.miterLimit = format(number(miter, 4));
            }
            if (findValue(*item, u"LineStartArrow") || findValue(*item, u"LineEndArrow")) {
                state.comments.append(
                    QStringLiteral("Stroke arrowheads are detected but not converted yet."));
            }
        }
    }
    FilterResult effects = filter(appearance, context);
    state.comments.append(effects.comments);
    return StyleInfo{state.declarations(), state.comments, effects.reference};
}

namespace {

/// The first two numbers of a point text, or the default when it has fewer.
std::pair<double, double> pointValue(const PropertyListDictionary& dictionary, QStringView key,
                                     std::pair<double, double> fallback) {
    const std::vector<double> numbers = parseNumbers(stringPointer(dictionary, key));
    if (numbers.size() < 2) {
        return fallback;
    }
    return {numbers[0], numbers[1]};
}

/// An array of strings; one element of another type empties the whole list.
QStringList stringArray(const PropertyListDictionary& dictionary, QStringView key) {
    const PropertyListValue* value = findValue(dictionary, key);
    const PropertyListArray* elements = value ? value->asArray() : nullptr;
    QStringList strings;
    if (!elements) {
        return strings;
    }
    for (const PropertyListValue& element : *elements) {
        const QString* text = element.asString();
        if (!text) {
            return {};
        }
        strings.append(*text);
    }
    return strings;
}

/// An array of numbers (reals or integers); one element of another type empties the list.
std::vector<double> numberArray(const PropertyListDictionary& dictionary, QStringView key) {
    const PropertyListValue* value = findValue(dictionary, key);
    const PropertyListArray* elements = value ? value->asArray() : nullptr;
    std::vector<double> numbers;
    if (!elements) {
        return numbers;
    }
    for (const PropertyListValue& element : *elements) {
        if (!element.asReal() && !element.asInteger()) {
            return {};
        }
        numbers.push_back(number(&element, 0));
    }
    return numbers;
}

}  // namespace

QString SvgDocumentBuilder::gradientFill(const PropertyListDictionary& gradient,
                                         SVGContext& context) const {
    const QString id = context.takeID(u"gradient-");
    const auto [x1, y1] = pointValue(gradient, u"StartPoint", {0, 0});
    const auto [x2, y2] = pointValue(gradient, u"EndPoint", {1, 0});
    const QStringList colors = stringArray(gradient, u"Colors");
    const std::vector<double> locations = numberArray(gradient, u"Locations");

    QStringList lines;
    lines.append(QLatin1StringView("<linearGradient ") + attribute(u"id", id) + QLatin1Char(' ') +
                 attribute(u"x1", format(x1)) + QLatin1Char(' ') + attribute(u"y1", format(y1)) +
                 QLatin1Char(' ') + attribute(u"x2", format(x2)) + QLatin1Char(' ') +
                 attribute(u"y2", format(y2)) + QLatin1Char('>'));
    const double spacing = static_cast<double>(std::max<qsizetype>(colors.size(), 2) - 1);
    for (qsizetype i = 0; i < colors.size(); ++i) {
        const auto index = static_cast<std::size_t>(i);
        const double offset =
            index < locations.size() ? locations[index] : static_cast<double>(i) / spacing;
        const ParsedColor color = parseColor(&colors[i], QStringLiteral("none"));
        // The definition is the stop's only element, so a colour it could not read is
        // noted there, right before the stop.
        if (color.warning) {
            lines.append(commentLine(u"  ", *color.warning));
        }
        QString line = QLatin1StringView("  <stop ") +
                       attribute(u"offset", format(offset * 100) + QLatin1Char('%')) +
                       QLatin1Char(' ') + attribute(u"stop-color", color.color);
        if (color.opacity) {
            line += QLatin1Char(' ') + attribute(u"stop-opacity", *color.opacity);
        }
        lines.append(line + QLatin1StringView("/>"));
    }
    lines.append(QStringLiteral("</linearGradient>"));
    context.defs.append(lines.join(QLatin1Char('\n')));
    return QLatin1StringView("url(#") + id + QLatin1Char(')');
}

}  // namespace keelwick
