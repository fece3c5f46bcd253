#include "convert/internal/ImageAssets.h"
#include "convert/internal/PathGeometry.h"
#include "convert/internal/SvgDocumentBuilder.h"
#include "convert/internal/SvgText.h"

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

/// Where a fill draws its image: x, y, width, height (in units of the filled shape's box)
/// and opacity, as written.
struct Placement {
    QString x;
    QString y;
    QString width;
    QString height;
    QString opacity;
    /// A negative width or height is no size to a browser, which then sizes the image by
    /// its own proportions; a unit image drawn through a matrix cannot do the same, so such
    /// a fill keeps an image of its own.
    bool canDrawSharedImage = true;

    /// Fills with equal keys draw the image alike and share one pattern.
    QString key() const { return QStringList{x, y, width, height, opacity}.join(QLatin1Char(' ')); }
};

Placement placement(const PropertyListDictionary& fillImage) {
    const auto [x, y, width, height] = imageRect(fillImage);
    return {format(x),
            format(y),
            format(width),
            format(height),
            format(number(fillImage, u"Alpha", 1)),
            !(width < 0 || height < 0)};
}

QString fillComment(const QString& name, const PropertyListDictionary& fillImage) {
    const PropertyListValue* scalingMode = findValue(fillImage, u"ScalingMode");
    const QString scalingText = scalingMode ? valueDescription(*scalingMode) : QString();
    return QStringLiteral("<!-- Graphic/iDraw FillImage ") + commentText(name) +
           QStringLiteral("; ScalingMode=") + commentText(scalingText) + QStringLiteral(" -->");
}

QString patternStartTag(const QString& id) {
    const QStringList attributes = {attribute(u"id", id),
                                    attribute(u"patternUnits", u"objectBoundingBox"),
                                    attribute(u"patternContentUnits", u"objectBoundingBox"),
                                    attribute(u"width", u"1"), attribute(u"height", u"1")};
    return QStringLiteral("<pattern ") + attributes.join(u' ') + u'>';
}

/// A pattern that draws the shared image definition `imageID` at `where`: the image is of
/// unit size, so the matrix scales it to the placement's size and moves it into place.
QString sharedPattern(const QString& id, const QString& imageID, const Placement& where) {
    const QString matrix = QStringLiteral("matrix(") + where.width + QStringLiteral(" 0 0 ") +
                           where.height + u' ' + where.x + u' ' + where.y + u')';
    const QStringList useAttributes = {attribute(u"href", u'#' + imageID),
                                       attribute(u"transform", matrix),
                                       attribute(u"opacity", where.opacity)};
    return patternStartTag(id) + QStringLiteral("\n  <use ") + useAttributes.join(u' ') +
           QStringLiteral("/>\n</pattern>");
}

/// The first fill's definition: the pattern holds the image data itself, as when the image
/// is used once. Records where the data lies, so a later placement can move it out.
QString firstDefinition(const QString& id, const QString& href, const Placement& where,
                        EmbeddedImage& asset) {
    const QString head =
        asset.commentLine + u'\n' + patternStartTag(id) + QStringLiteral("\n  <image href=\"");
    const QStringList placementAttributes = {attribute(u"x", where.x),
                                             attribute(u"y", where.y),
                                             attribute(u"width", where.width),
                                             attribute(u"height", where.height),
                                             attribute(u"preserveAspectRatio", u"none"),
                                             attribute(u"opacity", where.opacity)};
    asset.hrefStart = head.size();
    asset.hrefLength = href.size();
    return head + href + QStringLiteral("\" ") + placementAttributes.join(u' ') +
           QStringLiteral("/>\n</pattern>");
}

/// Moves the image data out of the first fill's pattern into an `image` definition of its
/// own, which that pattern and every later one draw.
void shareImageData(EmbeddedImage& asset, SVGContext& context) {
    const QString imageID = context.takeID(u"image-");
    QString& definition = context.defs[asset.definition];
    const QStringView href = QStringView(definition).sliced(asset.hrefStart, asset.hrefLength);
    const QStringList imageAttributes = {attribute(u"id", imageID), attribute(u"href", href),
                                         attribute(u"width", u"1"), attribute(u"height", u"1"),
                                         attribute(u"preserveAspectRatio", u"none")};
    const QStringList parts = asset.firstPlacement.split(u' ');
    const Placement first{parts.value(0), parts.value(1), parts.value(2), parts.value(3),
                          parts.value(4)};
    QString shared = asset.commentLine + QStringLiteral("\n<image ") + imageAttributes.join(u' ') +
                     QStringLiteral("/>\n") + sharedPattern(asset.firstPatternID, imageID, first);
    definition = std::move(shared);
    asset.imageID = imageID;
}

/// The characters of the base64 text of `size` bytes.
std::int64_t base64Length(qsizetype size) {
    return (static_cast<std::int64_t>(size) + 2) / 3 * 4;
}

QString budgetText(std::int64_t characters) {
    constexpr std::int64_t mebi = 1024 * 1024;
    if (characters % mebi == 0) {
        return QString::number(characters / mebi) + QStringLiteral(" MiB");
    }
    return QString::number(characters) + QStringLiteral(" bytes");
}

/// A fill of an image embedded already: the pattern of its placement, made when new.
ImageFillResult reusedImageFill(EmbeddedImage& asset, const QString& name, const Placement& where,
                                const PropertyListDictionary& fillImage, SVGContext& context) {
    const std::optional<QString> note = displayableImageNote(name, asset.mimeType);
    if (const auto drawn = asset.patternIDs.constFind(where.key());
        drawn != asset.patternIDs.constEnd()) {
        return {QStringLiteral("url(#") + *drawn + u')', note};
    }
    if (!asset.imageID) {
        shareImageData(asset, context);
    }
    const QString id = context.takeID(u"image-fill-");
    context.defs.append(fillComment(name, fillImage) + u'\n' +
                        sharedPattern(id, *asset.imageID, where));
    asset.patternIDs.insert(where.key(), id);
    return {QStringLiteral("url(#") + id + u')', note};
}

}  // namespace

QString svgTooLargeMessage(std::int64_t budget) {
    return QStringLiteral("The drawing’s SVG would be larger than ") + budgetText(budget) +
           QStringLiteral(", which is more than Keelwick builds for one drawing.");
}

ImageFillResult SvgDocumentBuilder::imageFill(const PropertyListDictionary& fillImage,
                                              SVGContext& context) const {
    const QString* name = stringPointer(fillImage, u"Name");
    if (!name) {
        return {QStringLiteral("none"), QStringLiteral("Image fill has no asset name.")};
    }
    if (context.failure) {
        return {QStringLiteral("none"), std::nullopt};  // the build has failed: embed no more
    }
    const std::optional<QString> location = imageAssetURL(*name, context.extractedRoot);
    const QString missing = QStringLiteral("Missing embedded image asset: Images/") + *name;
    if (!location) {
        return {QStringLiteral("none"), missing};
    }
    const QString key = *location + u'\n' + mimeType(*name);
    const Placement where = placement(fillImage);
    const auto known = context.embeddedImages.find(key);
    if (known != context.embeddedImages.end() && where.canDrawSharedImage) {
        return reusedImageFill(known->second, *name, where, fillImage, context);
    }
    const std::optional<QByteArray> bytes = readImageAsset(*location);
    if (!bytes) {
        return {QStringLiteral("none"), missing};
    }
    const DisplayableImage image = displayableImage(*bytes, *name);
    // Checked before encoding: the memory of an image past the budget is never taken.
    const std::int64_t length = base64Length(image.bytes.size());
    if (length > context.textBudget - context.embeddedLength) {
        context.failure = svgTooLargeMessage(context.textBudget);
        return {QStringLiteral("none"), std::nullopt};
    }
    context.embeddedLength += length;
    // The id is taken only now: a fill that found no image leaves the counter alone.
    const QString id = context.takeID(u"image-fill-");
    EmbeddedImage asset;
    asset.mimeType = image.mimeType;
    asset.definition = context.defs.size();
    asset.commentLine = fillComment(*name, fillImage);
    asset.firstPatternID = id;
    asset.firstPlacement = where.key();
    asset.patternIDs.insert(where.key(), id);
    const QString href = QStringLiteral("data:") + image.mimeType + QStringLiteral(";base64,") +
                         QString::fromLatin1(image.bytes.toBase64());
    context.defs.append(firstDefinition(id, href, where, asset));
    if (where.canDrawSharedImage) {
        context.embeddedImages.emplace(key, std::move(asset));
    }
    return {QStringLiteral("url(#") + id + u')', image.note};
}

}  // namespace keelwick
