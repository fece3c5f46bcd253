#include "convert/internal/SvgDocumentBuilder.h"
#include "convert/internal/PathGeometry.h"
#include "convert/internal/SvgText.h"

#include <new>

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

/// The characters of the document: head, the definitions indented into it, and body.
std::int64_t documentLength(const QString& head, const QString& body, const SVGContext& context) {
    const qsizetype tags = 32;  // the defs tags and the end tag
    std::int64_t length = head.size() + body.size() + tags;
    for (const QString& definition : context.defs) {
        length += definition.size() + 5 * (definition.count(u'\n') + 1);
    }
    return length;
}

}  // namespace

QString SvgDocumentBuilder::buildSVG(const PropertyListDictionary& document,
                                     SVGContext& context) const {
    // Within the text budget memory runs out only on a machine short of it; the caller then
    // gets a failure like any other, and unwinds (removing its work folder) as usual.
    try {
        return buildDocument(document, context);
    } catch (const std::bad_alloc&) {
        context.failure = QStringLiteral("There was not enough memory to build the drawing’s SVG.");
        return QString();
    }
}

QString SvgDocumentBuilder::buildDocument(const PropertyListDictionary& document,
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

    // Body lines go straight into one text as each shape is converted, so a drawing of many
    // thousands of shapes never holds all of its lines at once.
    QString body;
    auto appendLine = [&body](const QString& line) {
        body += line;
        body += QLatin1Char('\n');
    };
    const QString shapeIndent = QStringLiteral("    ");
    for (std::size_t i = 0; i < layers.size(); ++i) {
        const PropertyListDictionary& layer = *layers[i];
        const QString* name = stringPointer(layer, u"Name");
        const QString id =
            escapeXML(name ? *name : QStringLiteral("Layer ") + QString::number(i + 1));
        appendLine(QLatin1StringView("  <g ") + attribute(u"id", id) +
                   opacitySuffix(number(layer, u"Opacity", 1)) + QLatin1Char('>'));
        forEachChildShape(layer, context, shapeIndent, [&](const Lines& lines) {
            for (const QString& line : lines) {
                appendLine(line);
            }
        });
        appendLine(QStringLiteral("  </g>"));
    }

    const QString* version = stringPointer(document, u"Version");
    QString head = kHeader + QLatin1Char('\n');
    head += QLatin1StringView("<svg ") + attribute(u"xmlns", kSvgNamespace) + QLatin1Char(' ') +
            attribute(u"viewBox", format(left) + QLatin1Char(' ') + format(top) + QLatin1Char(' ') +
                                      format(width) + QLatin1Char(' ') + format(height)) +
            QLatin1Char(' ') + attribute(u"width", format(width)) + QLatin1Char(' ') +
            attribute(u"height", format(height)) + QLatin1StringView(">\n");
    head += QLatin1StringView("  <title>Rescued from Graphic/iDraw ") +
            (version ? escapeXML(*version) : QString()) + QLatin1StringView("</title>\n");
    const std::int64_t length = documentLength(head, body, context);
    if (!context.failure && length > context.textBudget) {
        context.failure = svgTooLargeMessage(context.textBudget);
    }
    if (context.failure) {
        return QString();
    }
    head.reserve(static_cast<qsizetype>(length) - body.size());
    // Definitions are indented straight into the head: the embedded images they hold are
    // the bulk of a large drawing, and each further copy would cost as much again.
    if (!context.defs.isEmpty()) {
        head += QLatin1StringView("  <defs>\n");
        for (const QString& definition : std::as_const(context.defs)) {
            for (QStringView line : QStringView(definition).split(u'\n')) {
                head += QLatin1StringView("    ");
                head += line;
                head += QLatin1Char('\n');
            }
        }
        head += QLatin1StringView("  </defs>\n");
    }

    // The head goes in front of the body in place: a second copy of a large drawing's text
    // would cost as much again in fresh memory.
    const QLatin1StringView end("</svg>\n");
    body.reserve(head.size() + body.size() + end.size());
    body.prepend(head);
    body += end;
    QString text = std::move(body);
    return text;
}

Lines SvgDocumentBuilder::convertShape(const PropertyListDictionary& shape, SVGContext& context,
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

Lines SvgDocumentBuilder::convertGroup(const PropertyListDictionary& shape, SVGContext& context,
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
    lines.append(attributes.isEmpty() ? QString(indent + QLatin1StringView("<g>"))
                                      : indent + QLatin1StringView("<g ") +
                                            attributes.join(QLatin1Char(' ')) + QLatin1Char('>'));
    const QString childIndent = indent + QLatin1StringView("  ");
    if (context.groupDepth >= kMaxNestingDepth) {
        lines.append(truncationComment(childIndent));
    } else {
        ++context.groupDepth;
        forEachChildShape(shape, context, childIndent,
                          [&lines](const Lines& childLines) { lines.append(childLines); });
        --context.groupDepth;
    }
    lines.append(indent + QLatin1StringView("</g>"));
    return lines;
}

template <typename Sink>
void SvgDocumentBuilder::forEachChildShape(const PropertyListDictionary& parent,
                                           SVGContext& context, const QString& indent,
                                           Sink&& sink) const {
    if (holdsTruncatedContent(parent, u"Shapes")) {
        sink(Lines{truncationComment(indent)});
        return;
    }
    for (const PropertyListDictionary* shape : dictionaryList(parent, u"Shapes")) {
        sink(convertShape(*shape, context, indent));
    }
}

}  // namespace keelwick
