#include "convert/internal/ImageAssets.h"
#include "convert/internal/SvgDocumentBuilder.h"
#include "pipeline/SVGPreviewImageRenderer.h"
#include "support/Documents.h"
#include "support/Files.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <initializer_list>

namespace keelwick {
namespace {

using keelwick::testing::Entry;
using keelwick::testing::FakeMeasurer;
using keelwick::testing::writeFile;

constexpr auto dictionary = keelwick::testing::document;

PropertyListDictionary fillNamed(const QString& name) {
    return dictionary({{"Name", PropertyListValue::string(name)}});
}

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    EXPECT_TRUE(writer.write(image)) << format << ": " << writer.errorString().toStdString();
    return bytes;
}

QImage filledImage(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QByteArray pngImage(int width, int height, QColor color = Qt::red) {
    return encoded(filledImage(width, height, color), "png");
}

// The smallest GIF: one white pixel, written out by hand so no encoder is involved.
const QByteArray kOnePixelGIF = QByteArray::fromHex(
    "474946383961010001008000"
    "00ffffff000000"
    "21f90401000000002c00000000010001000002024401003b");

// The parts of a pattern definition that vary between fills.
struct Pattern {
    QString comment;
    QString patternTag;
    QString mimeType;
    QByteArray bytes;
    QString placement;
};

// Splits the definition into its four lines and decodes the embedded data reference.
Pattern parsePattern(const QString& definition) {
    const QStringList lines = definition.split(u'\n');
    EXPECT_EQ(lines.size(), 4) << definition.left(400).toStdString();
    if (lines.size() != 4) {
        return {};
    }
    EXPECT_EQ(lines[3], "</pattern>");
    const QString prefix = QStringLiteral("  <image href=\"data:");
    EXPECT_TRUE(lines[2].startsWith(prefix));
    const qsizetype typeEnd = lines[2].indexOf(u";base64,");
    const qsizetype dataEnd = lines[2].indexOf(u'"', typeEnd);
    Pattern pattern;
    pattern.comment = lines[0];
    pattern.patternTag = lines[1];
    pattern.mimeType = lines[2].mid(prefix.size(), typeEnd - prefix.size());
    pattern.bytes =
        QByteArray::fromBase64(lines[2].mid(typeEnd + 8, dataEnd - typeEnd - 8).toLatin1());
    pattern.placement = lines[2].mid(dataEnd + 2);
    return pattern;
}

const QString kWholeBox = QStringLiteral(
    "x=\"0\" y=\"0\" width=\"1\" height=\"1\" preserveAspectRatio=\"none\" opacity=\"1\"/>");

class ImageFillTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(QDir(root.path()).mkpath("Images"));
        context.extractedRoot = root.path();
    }

    QString imagesPath(const QString& name) const { return root.path() + "/Images/" + name; }

    void writeImage(const QString& name, const QByteArray& bytes) {
        writeFile(imagesPath(name), bytes);
    }

    // Asserts the fill failed without touching the context, with the missing-asset warning.
    void expectMissing(const QString& name) {
        const ImageFillResult result = converter.imageFill(fillNamed(name), context);
        EXPECT_EQ(result.fill, "none") << name.toStdString();
        EXPECT_EQ(result.warning, "Missing embedded image asset: Images/" + name);
        EXPECT_TRUE(context.defs.isEmpty());
        EXPECT_EQ(context.nextID, 1);
    }

    QTemporaryDir root;
    SVGContext context;
    FakeMeasurer measurer;
    SvgDocumentBuilder converter{measurer};
};

// Placements and scaling modes the golden drawings do not show.
TEST_F(ImageFillTest, PlacementAndScalingModeAreReadLeniently) {
    writeImage("logo.png", pngImage(1, 1));
    const auto placed = [&](const Entry& extra) {
        PropertyListDictionary fill = fillNamed("logo.png");
        fill.push_back(extra);
        SVGContext fresh;  // a new drawing each time: one fill, one pattern of its own
        fresh.extractedRoot = root.path();
        converter.imageFill(fill, fresh);
        return parsePattern(fresh.defs.value(0));
    };
    // Fewer than four numbers, or none at all, cover the whole box.
    EXPECT_EQ(placed({"ImageRect", PropertyListValue::string("{0.1, 0.2, 0.5}")}).placement,
              kWholeBox);
    EXPECT_EQ(placed({"ImageRect", PropertyListValue::integer(5)}).placement, kWholeBox);

    // The scaling mode is written as the value describes itself.
    const struct {
        PropertyListValue value;
        const char* written;
    } modes[] = {{PropertyListValue::real(0.5), "0.5"},
                 {PropertyListValue::real(1.0), "1"},
                 {PropertyListValue::boolean(true), "1"}};
    for (const auto& [value, written] : modes) {
        EXPECT_EQ(placed({"ScalingMode", value}).comment,
                  QStringLiteral("<!-- Graphic/iDraw FillImage logo.png; ScalingMode=") + written +
                      " -->");
    }
}

TEST_F(ImageFillTest, CommentNameCannotBreakTheComment) {
    writeImage("a--b<c>.png", pngImage(1, 1));
    converter.imageFill(fillNamed("a--b<c>.png"), context);
    EXPECT_EQ(parsePattern(context.defs.value(0)).comment,
              "<!-- Graphic/iDraw FillImage a- -b&lt;c&gt;.png; ScalingMode= -->");
}

TEST_F(ImageFillTest, NamesCannotReachOutsideTheImagesFolder) {
    writeFile(root.path() + "/secret.png", pngImage(1, 1));
    writeImage("logo.png", pngImage(1, 1));

    expectMissing("../secret.png");
    expectMissing("/etc/passwd");
    expectMissing("..");
    expectMissing(".");
    expectMissing("logo.png/../../secret.png");
    EXPECT_FALSE(imageAssetURL("logo.png", "").has_value());  // never the working directory
}

TEST_F(ImageFillTest, SymbolicLinksAreTreatedAsMissing) {
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    writeFile(outside.path() + "/secret.png", pngImage(1, 1));
    ASSERT_TRUE(QFile::link(outside.path() + "/secret.png", imagesPath("link.png")));
    expectMissing("link.png");
    expectMissing("Link.PNG");  // not through the tolerant lookup either

    // A linked "Images" folder is not followed at all.
    ASSERT_TRUE(QDir(imagesPath("")).removeRecursively());
    ASSERT_TRUE(QFile::link(outside.path(), root.path() + "/Images"));
    expectMissing("secret.png");
}

TEST_F(ImageFillTest, UnreadableEntriesCountAsMissing) {
    ASSERT_TRUE(QDir(imagesPath("")).mkdir("folder.png"));
    expectMissing("folder.png");
    // A FIFO would block a plain open for ever.
    ASSERT_EQ(::mkfifo(QFile::encodeName(imagesPath("pipe.png")).constData(), 0600), 0);
    expectMissing("pipe.png");
    EXPECT_FALSE(readImageAsset(imagesPath("pipe.png")).has_value());

    // Files beyond the size cap are not read.
    writeImage("big.png", QByteArray(100, 'x'));
    EXPECT_FALSE(readImageAsset(imagesPath("big.png"), 99).has_value());
    EXPECT_EQ(readImageAsset(imagesPath("big.png"), 100), QByteArray(100, 'x'));
}

PropertyListDictionary placedFill(const QString& name, const char* rect, double alpha) {
    return dictionary({{"Name", PropertyListValue::string(name)},
                       {"ImageRect", PropertyListValue::string(rect)},
                       {"Alpha", PropertyListValue::real(alpha)}});
}

const QString kPatternAttributes = QStringLiteral(
    "patternUnits=\"objectBoundingBox\" patternContentUnits=\"objectBoundingBox\" width=\"1\" "
    "height=\"1\">");

TEST_F(ImageFillTest, OneImageInManyFillsIsEmbeddedOnce) {
    const QByteArray png = pngImage(2, 2);
    writeImage("logo.png", png);
    const QString data = "data:image/png;base64," + QString::fromLatin1(png.toBase64());

    // The same file and placement, also under another spelling of the name: the same pattern.
    const ImageFillResult first = converter.imageFill(fillNamed("logo.png"), context);
    const ImageFillResult again = converter.imageFill(fillNamed("Logo.PNG"), context);
    EXPECT_EQ(first.fill, "url(#image-fill-1)");
    EXPECT_EQ(again.fill, "url(#image-fill-1)");
    ASSERT_EQ(context.defs.size(), 1);
    EXPECT_EQ(context.nextID, 2);

    // Another placement draws the one image definition the data moves into.
    PropertyListDictionary placed = placedFill("logo.png", "{{0.1, 0.2}, {0.5, 0.5}}", 0.25);
    placed.insert(placed.end(), {{"ScalingMode", PropertyListValue::integer(2)}});
    EXPECT_EQ(converter.imageFill(placed, context).fill, "url(#image-fill-3)");
    EXPECT_EQ(converter.imageFill(placed, context).fill, "url(#image-fill-3)");
    EXPECT_EQ(converter.imageFill(fillNamed("logo.png"), context).fill, "url(#image-fill-1)");
    ASSERT_EQ(context.defs.size(), 2);
    EXPECT_EQ(context.defs[0],
              "<!-- Graphic/iDraw FillImage logo.png; ScalingMode= -->\n"
              "<image id=\"image-2\" href=\"" +
                  data +
                  "\" width=\"1\" height=\"1\" preserveAspectRatio=\"none\"/>\n"
                  "<pattern id=\"image-fill-1\" " +
                  kPatternAttributes +
                  "\n"
                  "  <use href=\"#image-2\" transform=\"matrix(1 0 0 1 0 0)\" opacity=\"1\"/>\n"
                  "</pattern>");
    EXPECT_EQ(context.defs[1],
              "<!-- Graphic/iDraw FillImage logo.png; ScalingMode=2 -->\n"
              "<pattern id=\"image-fill-3\" " +
                  kPatternAttributes +
                  "\n"
                  "  <use href=\"#image-2\" transform=\"matrix(0.5 0 0 0.5 0.1 0.2)\" "
                  "opacity=\"0.25\"/>\n"
                  "</pattern>");
    EXPECT_EQ(context.nextID, 4);
}

TEST_F(ImageFillTest, ReusedImagesKeepTheirNotesPerName) {
    writeImage("scan.tiff", encoded(filledImage(4, 3, Qt::blue), "tiff"));
    converter.imageFill(fillNamed("scan.tiff"), context);
    const ImageFillResult other = converter.imageFill(fillNamed("Scan.TIFF"), context);
    EXPECT_EQ(other.fill, "url(#image-fill-1)");
    EXPECT_EQ(other.warning,
              "Embedded image Scan.TIFF was re-encoded from image/tiff to PNG so "
              "SVG viewers can display it.");
    EXPECT_EQ(context.defs.size(), 1);
}

TEST_F(ImageFillTest, TheTextBudgetStopsEmbeddingBeforeEncoding) {
    // Distinct 24-byte files: 32 base64 characters each.
    writeImage("a.gif", kOnePixelGIF.left(24));
    writeImage("c.gif", QByteArray(24, 'c'));
    context.textBudget = 64;
    for (int i = 0; i < 40; ++i) {  // one file in many fills counts once
        converter.imageFill(placedFill("a.gif", "0 0 1 1", i / 40.0), context);
    }
    EXPECT_FALSE(context.failure.has_value());
    EXPECT_EQ(context.embeddedLength, 32);
    converter.imageFill(fillNamed("c.gif"), context);
    EXPECT_EQ(context.embeddedLength, 64);
    EXPECT_FALSE(context.failure.has_value());

    writeImage("d.gif", QByteArray(1, 'd'));
    const ImageFillResult over = converter.imageFill(fillNamed("d.gif"), context);
    EXPECT_EQ(over.fill, "none");
    EXPECT_EQ(context.failure,
              "The drawing’s SVG would be larger than 64 bytes, which is more "
              "than Keelwick builds for one drawing.");
    EXPECT_EQ(context.embeddedLength, 64);
    EXPECT_FALSE(context.defs.join("").contains("ZA=="));
}

// Squares side by side, each filled with the image of the given name at a placement.
PropertyListDictionary squaresFilledWith(const QStringList& names) {
    const char* rects[] = {"0 0 1 1", "0.1 0.2 0.5 0.5", "0.5 0 -0.5 1", "0 0 0 1"};
    const double alphas[] = {1, 0.5, 1, 1};
    PropertyListArray shapes;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const int left = static_cast<int>(i) * 110;
        const QString path =
            QStringLiteral("M %1 0 L %2 0 L %2 100 L %1 100 Z").arg(left).arg(left + 100);
        const PropertyListValue fill = PropertyListValue::dictionary(dictionary(
            {{"Type", PropertyListValue::string("Fill")},
             {"FillType", PropertyListValue::integer(3)},
             {"FillImage",
              PropertyListValue::dictionary(placedFill(names[i], rects[i], alphas[i]))}}));
        shapes.push_back(PropertyListValue::dictionary(
            dictionary({{"ShapeType", PropertyListValue::string("PathShape")},
                        {"Path", PropertyListValue::string(path)},
                        {"Appearance", PropertyListValue::array(PropertyListArray{fill})}})));
    }
    const PropertyListValue layer = PropertyListValue::dictionary(
        dictionary({{"Shapes", PropertyListValue::array(std::move(shapes))}}));
    return dictionary({{"Layers", PropertyListValue::array(PropertyListArray{layer})}});
}

TEST_F(ImageFillTest, SharedImageRendersAsSeparateCopiesWould) {
    QImage picture(4, 4, QImage::Format_RGB32);
    const QRgb colours[] = {qRgb(255, 0, 0), qRgb(0, 160, 0), qRgb(0, 0, 255), qRgb(250, 200, 0)};
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            picture.setPixel(x, y, colours[(y / 2) * 2 + x / 2]);
        }
    }
    const QByteArray png = encoded(picture, "png");
    for (const char* name : {"logo.png", "a.png", "b.png", "c.png", "d.png"}) {
        writeImage(name, png);
    }
    const auto render = [&](const QStringList& names) {
        SVGContext drawing;
        drawing.extractedRoot = root.path();
        const QString svg = converter.buildSVG(squaresFilledWith(names), drawing);
        const auto outcome = SVGPreviewImageRenderer::shared().render(svg, 1200);
        EXPECT_TRUE(std::holds_alternative<QByteArray>(outcome));
        const auto* bytes = std::get_if<QByteArray>(&outcome);
        return std::make_pair(svg, bytes ? QImage::fromData(*bytes, "PNG") : QImage());
    };
    const auto [sharedSVG, shared] = render({"logo.png", "logo.png", "logo.png", "logo.png"});
    const auto [separateSVG, separate] = render({"a.png", "b.png", "c.png", "d.png"});
    // The mirrored placement keeps a copy of its own: browsers size it by the image.
    ASSERT_EQ(sharedSVG.count(";base64,"), 2);
    ASSERT_EQ(separateSVG.count(";base64,"), 4);
    ASSERT_FALSE(shared.isNull());
    ASSERT_EQ(shared.size(), separate.size());
    int differing = 0;
    for (int y = 0; y < shared.height(); ++y) {
        for (int x = 0; x < shared.width(); ++x) {
            const QColor one = shared.pixelColor(x, y);
            const QColor other = separate.pixelColor(x, y);
            differing += std::abs(one.red() - other.red()) > 2 ||
                         std::abs(one.green() - other.green()) > 2 ||
                         std::abs(one.blue() - other.blue()) > 2;
        }
    }
    EXPECT_EQ(differing, 0);
    // The image shows: the first square's top left is red, the second's placement green.
    EXPECT_EQ(shared.pixelColor(15, 15), QColor(255, 0, 0));
}

TEST(ImageAssets, SkeletonKeepsAsciiLettersDigitsAndPoints) {
    EXPECT_EQ(asciiSkeleton(u"Photo (1).JPG"), "photo1.jpg");
    EXPECT_EQ(asciiSkeleton(u"photo_1.jpg"), "photo1.jpg");
    EXPECT_EQ(asciiSkeleton(u"PHOTO-1.jpg"), "photo1.jpg");
    EXPECT_EQ(asciiSkeleton(u"Café №7.png"), "caf7.png");
    EXPECT_EQ(asciiSkeleton(u"日本"), "");
}

TEST(ImageAssets, MediaTypeFollowsTheLoweredEnding) {
    EXPECT_EQ(mimeType("a.PNG"), "image/png");
    EXPECT_EQ(mimeType("a.jpg"), "image/jpeg");
    EXPECT_EQ(mimeType("a.Jpeg"), "image/jpeg");
    EXPECT_EQ(mimeType("a.tif"), "image/tiff");
    EXPECT_EQ(mimeType("a.TIFF"), "image/tiff");
    EXPECT_EQ(mimeType("a.gif"), "image/gif");
    EXPECT_EQ(mimeType("a.icns"), "image/icns");
    EXPECT_EQ(mimeType("png"), "application/octet-stream");
    EXPECT_EQ(mimeType("a.png.bak"), "application/octet-stream");
}

// An ICNS icon family written entry by entry: a type code and the entry's data.
QByteArray iconFamily(const std::vector<std::pair<QByteArray, QByteArray>>& entries) {
    const auto bigEndian = [](quint32 value) {
        return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(8, '0'));
    };
    QByteArray body;
    for (const auto& [type, data] : entries) {
        body += type + bigEndian(quint32(data.size() + 8)) + data;
    }
    return "icns" + bigEndian(quint32(body.size() + 8)) + body;
}

TEST(ImageAssets, PngDataTakesTheLargestDecodableImageOfAContainer) {
    // The first entry claims JPEG 2000, which no installed decoder reads, so the first image
    // fails and the decodable images of the family are compared.
    const QByteArray jpeg2000 = QByteArray::fromHex("0000000c6a5020200d0a870a") + QByteArray(40, 1);
    const QByteArray family = iconFamily({{"ic09", jpeg2000},
                                          {"icp4", pngImage(16, 16, Qt::red)},
                                          {"ic07", pngImage(128, 128, Qt::green)}});
    ASSERT_TRUE(QImage::fromData(family).isNull());
    const std::optional<QByteArray> png = pngData(family);
    ASSERT_TRUE(png.has_value());
    const QImage decoded = QImage::fromData(*png, "png");
    EXPECT_EQ(decoded.size(), QSize(128, 128));
    EXPECT_EQ(decoded.pixelColor(0, 0), QColor(Qt::green));
}

TEST(ImageAssets, PngDataSurvivesBrokenImages) {
    EXPECT_FALSE(pngData(QByteArray()).has_value());
    EXPECT_FALSE(pngData(QByteArray(4096, '\0')).has_value());
    EXPECT_FALSE(pngData(iconFamily({{"ic07", QByteArray(32, 'z')}})).has_value());

    // A bitmap header declaring 100000 × 100000 pixels is refused before any allocation.
    // The file header, then width, height, planes, depth and the rest of the info header.
    const QByteArray hugeBitmap = QByteArray::fromHex(
                                      "424d360000000000000036000000"
                                      "28000000a0860100a086010001002000"
                                      "0000000000000000130b0000130b00000000000000000000") +
                                  QByteArray(16, '\0');
    EXPECT_FALSE(pngData(hugeBitmap).has_value());

    // A truncated picture may yield what was decoded, but only ever a well-formed PNG.
    const QByteArray whole = pngImage(64, 64);
    for (qsizetype length : {qsizetype(8), qsizetype(40), whole.size() / 2, whole.size() - 1}) {
        if (const std::optional<QByteArray> png = pngData(whole.left(length))) {
            EXPECT_FALSE(QImage::fromData(*png, "png").isNull()) << length;
        }
    }
}

}  // namespace
}  // namespace keelwick
