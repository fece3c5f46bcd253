#include "convert/PathGeometry.h"
#include "convert/SvgText.h"
#include "convert/VellixConverter.h"

namespace keelwick {

namespace {

const QString kHeader = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
const QString kSvgNamespace = QStringLiteral("http://www.w3.org/2000/svg");

/// What stands in place of shapes nested deeper than the builder descends.
QString truncationComment(const QString& indent) {
    return indent + QStringLiteral("<!-- Content nested more than ") +
           QString::number(kMaxNestingDepth) + QStringLiteral(" levels deep was left out. -->");
}

/// The opacity attribute text of a layer or text element: empty at exactly 1.
QString opacitySuffix(double opacity) {
    if (opacity == 1) {
        return {};
    }
    return QLatin1Char(' ') + attribute(u"opacity", format(opacity));
}

}  // namespace

QString VellixConverter::buildSVG(const PropertyListDictionary& document,
                                  SVGContext& context) const {
    const std::vector<const PropertyListDictionary*> layers = dictionaryList(document, u"Layers");

    const std::vector<double> dimensions = parseNumbers(stringPointer(document, u"Dimensions"));
    const bool hasDimensions = dimensions.size() >= 2;
    double left = 0;
    double top = 0;
    double right = hasDimensions ? dimensions[0] : 612;
    double bottom = hasDimensions ? dimensions[1] : 792;
    if (const std::optional<Bounds> bounds = documentBounds(layers)) {
        left = bounds->minX - 10;
        top = bounds->minY - 10;
        right = bounds->maxX + 10;
        bottom = bounds->maxY + 10;
    }
    const double width = right - left;
    const double height = bottom - top;

    Lines body;
    const QString shapeIndent = QStringLiteral("    ");
    for (std::size_t i = 0; i < layers.size(); ++i) {
        const PropertyListDictionary& layer = *layers[i];
        const QString* name = stringPointer(layer, u"Name");
        const QString id =
            escapeXML(name ? *name : QStringLiteral("Layer ") + QString::number(i + 1));
        body.append(QLatin1StringView("  <g ") + attribute(u"id", id) +
                    opacitySuffix(number(layer, u"Opacity", 1)) + QLatin1Char('>'));
        body.append(convertChildShapes(layer, context, shapeIndent));
        body.append(QStringLiteral("  </g>"));
    }

    Lines lines;
    lines.reserve(body.size() + context.defs.size() * 4 + 6);
    lines.append(kHeader);
    lines.append(
        QLatin1StringView("<svg ") + attribute(u"xmlns", kSvgNamespace) + QLatin1Char(' ') +
        attribute(u"viewBox", format(left) + QLatin1Char(' ') + format(top) + QLatin1Char(' ') +
                                  format(width) + QLatin1Char(' ') + format(height)) +
        QLatin1Char(' ') + attribute(u"width", format(width)) + QLatin1Char(' ') +
        attribute(u"height", format(height)) + QLatin1Char('>'));
    const QString* version = stringPointer(document, u"Version");
    lines.append(QLatin1StringView("  <title>Rescued from Graphic/iDraw ") +
                 (version ? escapeXML(*version) : QString()) + QLatin1StringView("</title>"));
    if (!context.defs.isEmpty()) {
        lines.append(QStringLiteral("  <defs>"));
        for (const QString& definition : std::as_const(context.defs)) {
            for (QStringView line : QStringView(definition).split(u'\n')) {
                lines.append(QStringLiteral("    ").append(line));
            }
        }
        lines.append(QStringLiteral("  </defs>"));
    }
    lines.append(body);
    lines.append(QStringLiteral("</svg>"));

    qsizetype size = 1;
    for (const QString& line : std::as_const(lines)) {
        size += line.size() + 1;
    }
    QString text;
    text.reserve(size);
    for (const QString& line : std::as_const(lines)) {
        text += line;
        text += QLatin1Char('\n');
    }
    return text;
}

Lines VellixConverter::convertShape(const PropertyListDictionary& shape, SVGContext& context,
                                    const QString& indent) const {
    const QString* type = stringPointer(shape, u"ShapeType");
    if (type) {
        if (*type == QLatin1StringView("PathShape")) {
            return convertPath(shape, context, indent);
        }
        if (*type == QLatin1StringView("TextShape")) {
            return convertText(shape, context, indent);
        }
        if (*type == QLatin1StringView("TextOnPathShape")) {
            return convertTextOnPath(shape, context, indent);
        }
        if (*type == QLatin1StringView("ShapeGroup")) {
            return convertGroup(shape, context, indent);
        }
    }
    return {indent + QLatin1StringView("<!-- Unsupported Graphic/iDraw shape: ") +
            commentText(type ? *type : QStringLiteral("unknown")) + QLatin1StringView(" -->")};
}

Lines VellixConverter::convertGroup(const PropertyListDictionary& shape, SVGContext& context,
                                    const QString& indent) const {
    QStringList attributes;
    if (std::optional<QString> transform = transformAttribute(shape)) {
        attributes.append(attribute(u"transform", *transform));
    }
    const double opacity = number(shape, u"Opacity", 1);
    if (opacity != 1) {
        attributes.append(attribute(u"opacity", format(opacity)));
    }
    Lines lines;
    lines.append(attributes.isEmpty() ? indent + QLatin1StringView("<g>")
                                      : indent + QLatin1StringView("<g ") +
                                            attributes.join(QLatin1Char(' ')) + QLatin1Char('>'));
    const QString childIndent = indent + QLatin1StringView("  ");
    if (context.groupDepth >= kMaxNestingDepth) {
        lines.append(truncationComment(childIndent));
    } else {
        ++context.groupDepth;
        lines.append(convertChildShapes(shape, context, childIndent));
        --context.groupDepth;
    }
    lines.append(indent + QLatin1StringView("</g>"));
    return lines;
}

Lines VellixConverter::convertChildShapes(const PropertyListDictionary& parent, SVGContext& context,
                                          const QString& indent) const {
    if (holdsTruncatedContent(parent, u"Shapes")) {
        return {truncationComment(indent)};
    }
    Lines lines;
    for (const PropertyListDictionary* shape : dictionaryList(parent, u"Shapes")) {
        lines.append(convertShape(*shape, context, indent));
    }
    return lines;
}

}  // namespace keelwick
