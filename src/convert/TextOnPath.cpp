#include "convert/internal/PathGeometry.h"
#include "convert/internal/SvgDocumentBuilder.h"
#include "convert/internal/SvgText.h"

namespace keelwick {

Lines SvgDocumentBuilder::convertTextOnPath(const PropertyListDictionary& shape,
                                            SVGContext& context, const QString& indent) const {
    const QString id = context.takeID(u"text-path-");
    const QString* path = stringPointer(shape, u"Path");
    QString definition = QLatin1StringView("<path ") + attribute(u"id", id) + QLatin1Char(' ') +
                         attribute(u"d", path ? escapeXML(*path) : QString());
    if (std::optional<QString> transform = transformAttribute(shape)) {
        definition += QLatin1Char(' ') + attribute(u"transform", *transform);
    }
    context.defs.append(definition + QLatin1StringView("/>"));

    const QString anchor = textAnchor(shape);
    const double startOffset = number(shape, u"StartOffset", 0);
    const double opacity = number(shape, u"Opacity", 1);

    // The spans come first: the comments about their colours stand before the text element.
    QStringList comments;
    auto spanLine = [&](const PropertyListDictionary& run) -> QString {
        const QString* text = stringPointer(run, u"Text");
        return indent + QLatin1StringView("    <tspan ") +
               textAttributes(run, shape, comments).join(QLatin1Char(' ')) + QLatin1Char('>') +
               (text ? escapeXML(*text) : QString()) + QLatin1StringView("</tspan>");
    };
    Lines spans;
    const std::vector<const PropertyListDictionary*> runs = dictionaryList(shape, u"TextSpans");
    if (runs.empty()) {
        spans.append(spanLine(shape));
    }
    for (const PropertyListDictionary* run : runs) {
        spans.append(spanLine(*run));
    }

    Lines lines;
    for (const QString& comment : std::as_const(comments)) {
        lines.append(commentLine(indent, comment));
    }
    lines.append(
        indent + QLatin1StringView("<text ") + attribute(u"text-anchor", anchor) +
        (opacity == 1 ? QString() : QLatin1Char(' ') + attribute(u"opacity", format(opacity))) +
        QLatin1Char('>'));
    lines.append(indent + QLatin1StringView("  <textPath ") +
                 attribute(u"href", QLatin1Char('#') + id) + QLatin1Char(' ') +
                 attribute(u"startOffset", format(startOffset)) + QLatin1Char('>'));
    lines.append(spans);
    lines.append(indent + QLatin1StringView("  </textPath>"));
    lines.append(indent + QLatin1StringView("</text>"));
    return lines;
}

}  // namespace keelwick
