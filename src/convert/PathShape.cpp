#include "convert/internal/PathGeometry.h"
#include "convert/internal/SvgDocumentBuilder.h"
#include "convert/internal/SvgText.h"

namespace keelwick {

Lines SvgDocumentBuilder::convertPath(const PropertyListDictionary& shape, SVGContext& context,
                                      const QString& indent) const {
    const StyleInfo info = style(dictionaryList(shape, u"Appearance"), context);
    const double opacity = number(shape, u"Opacity", 1);
    const QString* path = stringPointer(shape, u"Path");

    Lines lines;
    for (const QString& comment : info.comments) {
        lines.append(commentLine(indent, comment));
    }
    QString element = indent + QLatin1StringView("<path ") +
                      attribute(u"d", path ? escapeXML(*path) : QString()) + QLatin1Char(' ') +
                      attribute(u"style", info.style);
    if (std::optional<QString> transform = transformAttribute(shape)) {
        element += QLatin1Char(' ') + attribute(u"transform", *transform);
    }
    if (info.filter) {
        element += QLatin1Char(' ') + attribute(u"filter", *info.filter);
    }
    if (opacity != 1) {
        element += QLatin1Char(' ') + attribute(u"opacity", format(opacity));
    }
    lines.append(element + QLatin1StringView("/>"));
    return lines;
}

}  // namespace keelwick
