#include "convert/internal/Colors.h"
#include "convert/internal/PathGeometry.h"
#include "convert/internal/SvgDocumentBuilder.h"
#include "convert/internal/SvgText.h"

#include <QStringList>

namespace keelwick {

namespace {

bool isEffectType(const QString& type) {
    return type == u"DropShadow" || type == u"OuterGlow" || type == u"InnerShadow" ||
           type == u"InnerGlow";
}

// The enabled effects in list order: entries of the four effect kinds whose "Enabled" is not
// the boolean false.
std::vector<const PropertyListDictionary*> enabledEffects(const AppearanceList& appearance) {
    std::vector<const PropertyListDictionary*> effects;
    for (const PropertyListDictionary* entry : appearance) {
        if (!entry || booleanValue(*entry, u"Enabled") == false) {
            continue;
        }
        const QString* type = stringPointer(*entry, u"Type");
        if (type && isEffectType(*type)) {
            effects.push_back(entry);
        }
    }
    return effects;
}

// The one drop-shadow primitive every effect becomes. Glows have no offset; shadows use
// theirs as the drawing stores it (dy is not inverted).
QString dropShadowPrimitive(const PropertyListDictionary& effect, const QString& type,
                            QStringList& comments) {
    QString dx = QStringLiteral("0");
    QString dy = QStringLiteral("0");
    if (type == u"DropShadow" || type == u"InnerShadow") {
        const std::vector<double> offset = parseNumbers(stringPointer(effect, u"Offset"));
        if (offset.size() >= 2) {
            dx = format(offset[0]);
            dy = format(offset[1]);
        }
    }
    const double blur = number(effect, u"Blur", 0);
    const ParsedColor color = parseColor(stringPointer(effect, u"Color"), QStringLiteral("black"));
    if (color.warning) {
        comments += *color.warning;
    }
    const QStringList attributes = {
        attribute(u"dx", dx), attribute(u"dy", dy), attribute(u"stdDeviation", format(blur * 0.5)),
        attribute(u"flood-color", color.color),
        attribute(u"flood-opacity", color.opacity.value_or(QStringLiteral("1")))};
    return QStringLiteral("<feDropShadow ") + attributes.join(u' ') + QStringLiteral("/>");
}

QString filterDefinition(const QString& id, const QString& type, const QString& primitive) {
    const QStringList filterAttributes = {attribute(u"id", id), attribute(u"x", u"-50%"),
                                          attribute(u"y", u"-50%"), attribute(u"width", u"200%"),
                                          attribute(u"height", u"200%")};
    const QStringList lines = {QStringLiteral("<!-- Graphic/iDraw effect ") + commentText(type) +
                                   QStringLiteral(" approximated as SVG filter. -->"),
                               QStringLiteral("<filter ") + filterAttributes.join(u' ') + u'>',
                               QStringLiteral("  ") + primitive, QStringLiteral("</filter>")};
    return lines.join(u'\n');
}

}  // namespace

FilterResult SvgDocumentBuilder::filter(const AppearanceList& appearance,
                                        SVGContext& context) const {
    const std::vector<const PropertyListDictionary*> effects = enabledEffects(appearance);
    if (effects.empty()) {
        return {};
    }
    const PropertyListDictionary& effect = *effects.front();
    const QString type = *stringPointer(effect, u"Type");
    const QString id = context.takeID(u"filter-");

    // Inner effects have no SVG counterpart and are drawn outside the shape.
    FilterResult result;
    if (type == u"InnerShadow") {
        result.comments += QStringLiteral("InnerShadow is approximated as a drop shadow filter.");
    } else if (type == u"InnerGlow") {
        result.comments += QStringLiteral("InnerGlow is approximated as an outer glow filter.");
    }
    const QString primitive = dropShadowPrimitive(effect, type, result.comments);
    if (effects.size() > 1) {
        result.comments += QStringLiteral(
            "Only the first enabled effect was converted; additional effects were ignored.");
    }
    context.defs.append(filterDefinition(id, type, primitive));
    result.reference = QStringLiteral("url(#") + id + u')';
    return result;
}

}  // namespace keelwick
