#include "convert/ImageAssets.h"
#include "convert/PathGeometry.h"
#include "convert/SvgText.h"
#include "convert/VellixConverter.h"

#include <QDateTime>
#include <QStringList>

#include <array>
#include <charconv>
#include <cmath>

namespace keelwick {

namespace {

// Reals print as the platform's number objects describe themselves: 16 significant digits,
// shortest form ("1" for 1.0, "0.5" for 0.5), always with a "." separator.
QString realDescription(double value) {
    char buffer[64];
    auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 16);
    if (error != std::errc()) {
        return QStringLiteral("0");
    }
    return QString::fromLatin1(buffer, static_cast<qsizetype>(end - buffer));
}

QString dataDescription(const QByteArray& bytes) {
    constexpr qsizetype shown = 24;
    QString text = QStringLiteral("{length = ") + QString::number(bytes.size()) +
                   QStringLiteral(", bytes = 0x") + QString::fromLatin1(bytes.left(shown).toHex());
    if (bytes.size() > shown) {
        text += QStringLiteral(" ...");
    }
    return text + u'}';
}

QString dateDescription(PropertyListValue::Date date) {
    static const QDateTime referenceDate(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    // Beyond some ten thousand years either way (or not a number) the date is meaningless;
    // the reference date stands in rather than overflowing the millisecond count.
    const double seconds = date.secondsSinceReferenceDate;
    const bool isPlausible = std::isfinite(seconds) && std::fabs(seconds) < 3.2e11;
    const QDateTime moment =
        referenceDate.addMSecs(isPlausible ? static_cast<qint64>(seconds * 1000) : 0);
    return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
}

// The general value description of the platform, on one line: a string is itself, a number
// its digits, a boolean its number ("1" or "0", as boolean number objects print). Containers,
// dates and data, which no drawing is expected to hold here, get a compact form of their own.
QString valueDescription(const PropertyListValue& value) {
    switch (value.type()) {
        case PropertyListValue::Type::String:
            return *value.asString();
        case PropertyListValue::Type::Integer:
            return QString::number(*value.asInteger());
        case PropertyListValue::Type::Real:
            return realDescription(*value.asReal());
        case PropertyListValue::Type::Boolean:
            return *value.asBoolean() ? QStringLiteral("1") : QStringLiteral("0");
        case PropertyListValue::Type::Date:
            return dateDescription(*value.asDate());
        case PropertyListValue::Type::Data:
            return dataDescription(*value.asData());
        case PropertyListValue::Type::Array: {
            QStringList elements;
            for (const PropertyListValue& element : *value.asArray()) {
                elements += valueDescription(element);
            }
            return u'(' + elements.join(QStringLiteral(", ")) + u')';
        }
        case PropertyListValue::Type::Dictionary: {
            QString text = QStringLiteral("{");
            for (const auto& [key, element] : *value.asDictionary()) {
                text += key + QStringLiteral(" = ") + valueDescription(element) + u';';
            }
            return text + u'}';
        }
        case PropertyListValue::Type::None:
        case PropertyListValue::Type::Truncated:
            break;
    }
    return QString();
}

// "ImageRect": x, y, width and height in units of the filled shape's box; the whole box
// unless four numbers are given.
std::array<double, 4> imageRect(const PropertyListDictionary& fillImage) {
    const std::vector<double> numbers = parseNumbers(stringPointer(fillImage, u"ImageRect"));
    if (numbers.size() < 4) {
        return {0, 0, 1, 1};
    }
    return {numbers[0], numbers[1], numbers[2], numbers[3]};
}

QString patternDefinition(const QString& id, const QString& name,
                          const PropertyListDictionary& fillImage, const DisplayableImage& image) {
    const PropertyListValue* scalingMode = findValue(fillImage, u"ScalingMode");
    const QString scalingText = scalingMode ? valueDescription(*scalingMode) : QString();
    const double alpha = number(fillImage, u"Alpha", 1);
    const auto [x, y, width, height] = imageRect(fillImage);
    const QString href = QStringLiteral("data:") + image.mimeType + QStringLiteral(";base64,") +
                         QString::fromLatin1(image.bytes.toBase64());
    const QStringList imageAttributes = {attribute(u"href", href),
                                         attribute(u"x", format(x)),
                                         attribute(u"y", format(y)),
                                         attribute(u"width", format(width)),
                                         attribute(u"height", format(height)),
                                         attribute(u"preserveAspectRatio", u"none"),
                                         attribute(u"opacity", format(alpha))};
    const QStringList patternAttributes = {attribute(u"id", id),
                                           attribute(u"patternUnits", u"objectBoundingBox"),
                                           attribute(u"patternContentUnits", u"objectBoundingBox"),
                                           attribute(u"width", u"1"), attribute(u"height", u"1")};
    const QStringList lines = {
        QStringLiteral("<!-- Graphic/iDraw FillImage ") + commentText(name) +
            QStringLiteral("; ScalingMode=") + commentText(scalingText) + QStringLiteral(" -->"),
        QStringLiteral("<pattern ") + patternAttributes.join(u' ') + u'>',
        QStringLiteral("  <image ") + imageAttributes.join(u' ') + QStringLiteral("/>"),
        QStringLiteral("</pattern>")};
    return lines.join(u'\n');
}

}  // namespace

ImageFillResult VellixConverter::imageFill(const PropertyListDictionary& fillImage,
                                           SVGContext& context) const {
    const QString* name = stringPointer(fillImage, u"Name");
    if (!name) {
        return {QStringLiteral("none"), QStringLiteral("Image fill has no asset name.")};
    }
    const std::optional<QString> location = imageAssetURL(*name, context.extractedRoot);
    const std::optional<QByteArray> bytes =
        location ? readImageAsset(*location) : std::optional<QByteArray>();
    if (!bytes) {
        return {QStringLiteral("none"),
                QStringLiteral("Missing embedded image asset: Images/") + *name};
    }
    const DisplayableImage image = displayableImage(*bytes, *name);
    // The id is taken only now: a fill that found no image leaves the counter alone.
    const QString id = context.takeID(u"image-fill-");
    context.defs.append(patternDefinition(id, *name, fillImage, image));
    return {QStringLiteral("url(#") + id + u')', image.note};
}

}  // namespace keelwick
