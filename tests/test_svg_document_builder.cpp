#include "convert/internal/SvgDocumentBuilder.h"
#include "convert/internal/SvgText.h"
#include "support/Documents.h"
#include "support/XmlChecks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace keelwick;
using namespace keelwick::testing;

namespace {

QString build(const PropertyListDictionary& drawing) {
    FakeMeasurer measurer;
    SvgDocumentBuilder converter(measurer);
    SVGContext context;
    return converter.buildSVG(drawing, context);
}

Value pathShape(const char* path, const char* position = nullptr) {
    PropertyListDictionary shape{{"ShapeType", str("PathShape")}, {"Path", str(path)}};
    if (position) {
        shape.emplace_back("Position", str(position));
    }
    return Value::dictionary(shape);
}

Value layer(std::initializer_list<Value> shapes) {
    return dict({{"Shapes", array(shapes)}});
}

QString svgStartTag(const QString& svg) {
    return svg.section(QLatin1Char('\n'), 1, 1);
}

}  // namespace

TEST(SvgDocumentBuilder, EmptyDocumentIsTheBarePage) {
    EXPECT_EQ(build({}),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 612 792\" width=\"612\" "
              "height=\"792\">\n"
              "  <title>Rescued from Graphic/iDraw </title>\n"
              "</svg>\n");
}

TEST(SvgDocumentBuilder, CompleteSmallDrawing) {
    const PropertyListDictionary drawing = document(
        {{"Dimensions", str("{200, 100}")},
         {"Layers",
          array({dict(
              {{"Name", str("Background")},
               {"Shapes",
                array({dict({{"ShapeType", str("PathShape")},
                             {"Position", str("{10, 20}")},
                             {"Path", str("M 0 0 L 100 50")},
                             {"Appearance",
                              array({dict({{"Type", str("Fill")}, {"FillColor", str("0 0 1")}}),
                                     dict({{"Type", str("Stroke")},
                                           {"LineWidth", integer(2)},
                                           {"LineColor", str("0 0 0")}})})}})})}})})}});
    EXPECT_EQ(build(drawing),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 10 120 70\" width=\"120\" "
              "height=\"70\">\n"
              "  <title>Rescued from Graphic/iDraw </title>\n"
              "  <g id=\"Background\">\n"
              "    <path d=\"M 0 0 L 100 50\" "
              "style=\"fill:rgb(0 0 255);stroke:rgb(0 0 0);stroke-width:2;fill-opacity:1;"
              "stroke-opacity:1;stroke-linejoin:miter;stroke-linecap:butt\" "
              "transform=\"translate(10 20)\"/>\n"
              "  </g>\n"
              "</svg>\n");
}

TEST(SvgDocumentBuilder, CanvasComesFromGeometryElseDimensions) {
    EXPECT_EQ(svgStartTag(build(document({{"Dimensions", str("{800, 600}")}}))),
              "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 800 600\" width=\"800\" "
              "height=\"600\">");
    EXPECT_TRUE(svgStartTag(build(document({{"Dimensions", str("{800}")}})))
                    .contains("viewBox=\"0 0 612 792\""));
    // Geometry wins over "Dimensions"; a text shape without a path adds nothing, and a path
    // nested in a group counts without the group's own position.
    const PropertyListDictionary drawing = document(
        {{"Dimensions", str("{800, 600}")},
         {"Layers",
          array({layer(
              {dict({{"ShapeType", str("ShapeGroup")},
                     {"Position", str("{1000, 1000}")},
                     {"Shapes", array({pathShape("M 0 0 L 100 50", "{10, 20}")})}}),
               dict({{"ShapeType", str("TextShape")}, {"Position", str("{-500, 0}")}})})})}});
    EXPECT_TRUE(svgStartTag(build(drawing))
                    .contains("viewBox=\"0 10 120 70\" width=\"120\" height=\"70\""));
}

TEST(SvgDocumentBuilder, LayersGetNamesAndOpacity) {
    const PropertyListDictionary drawing =
        document({{"Version", str("1.2 <beta>")},
                  {"Layers", array({dict({{"Name", str("A & <B>")}, {"Opacity", real(1)}}),
                                    dict({{"Opacity", real(0.25)}}), dict({})})}});
    const QString svg = build(drawing);
    EXPECT_TRUE(svg.contains("  <title>Rescued from Graphic/iDraw 1.2 &lt;beta&gt;</title>\n"));
    EXPECT_TRUE(svg.contains("  <g id=\"A &amp; &lt;B&gt;\">\n  </g>\n"));
    EXPECT_TRUE(svg.contains("  <g id=\"Layer 2\" opacity=\"0.25\">\n"));
    EXPECT_TRUE(svg.contains("  <g id=\"Layer 3\">\n"));
}

TEST(SvgDocumentBuilder, UnsupportedShapesBecomeComments) {
    const QString svg =
        build(document({{"Layers", array({layer({dict({{"ShapeType", str("Ellipse")}}), dict({}),
                                                 dict({{"ShapeType", integer(4)}}),
                                                 dict({{"ShapeType", str("a--b->")}})})})}}));
    EXPECT_TRUE(
        svg.contains("    <!-- Unsupported Graphic/iDraw shape: Ellipse -->\n"
                     "    <!-- Unsupported Graphic/iDraw shape: unknown -->\n"
                     "    <!-- Unsupported Graphic/iDraw shape: unknown -->\n"));
    // A hyphen pair would end the comment early; the text is kept readable instead.
    EXPECT_TRUE(svg.contains("<!-- Unsupported Graphic/iDraw shape: a- -b-&gt; -->"));
    EXPECT_EQ(xmlError(svg), "");
}

TEST(SvgDocumentBuilder, GroupsIndentTheirChildren) {
    const Value inner = dict({{"ShapeType", str("ShapeGroup")},
                              {"Opacity", real(0.5)},
                              {"FillTransform", str("2 0 0 2 0 0")},
                              {"Position", str("{5, 6}")},
                              {"Shapes", array({dict({{"ShapeType", str("Star")}})})}});
    const QString svg =
        build(document({{"Layers", array({layer({dict({{"ShapeType", str("ShapeGroup")},
                                                       {"Shapes", array({inner})}})})})}}));
    EXPECT_TRUE(
        svg.contains("    <g>\n"
                     "      <g transform=\"matrix(2 0 0 2 0 0) translate(5 6)\" "
                     "opacity=\"0.5\">\n"
                     "        <!-- Unsupported Graphic/iDraw shape: Star -->\n"
                     "      </g>\n"
                     "    </g>\n"));
}

TEST(SvgDocumentBuilder, DefinitionsStandBeforeLayersInConversionOrder) {
    auto gradientShape = [](const char* color) {
        return dict({{"ShapeType", str("PathShape")},
                     {"Path", str("M 0 0 L 10 10")},
                     {"Appearance",
                      array({dict({{"Type", str("Fill")},
                                   {"FillType", integer(2)},
                                   {"FillGradient",
                                    dict({{"Colors", array({str(color), str("1 1 1")})}})}})})}});
    };
    const QString svg = build(
        document({{"Layers", array({layer({gradientShape("0 0 0"), gradientShape("1 0 0")})})}}));
    EXPECT_TRUE(svg.contains(
        "  <defs>\n"
        "    <linearGradient id=\"gradient-1\" x1=\"0\" y1=\"0\" x2=\"1\" y2=\"0\">\n"
        "      <stop offset=\"0%\" stop-color=\"rgb(0 0 0)\" stop-opacity=\"1\"/>\n"
        "      <stop offset=\"100%\" stop-color=\"rgb(255 255 255)\" stop-opacity=\"1\"/>\n"
        "    </linearGradient>\n"
        "    <linearGradient id=\"gradient-2\" x1=\"0\" y1=\"0\" x2=\"1\" y2=\"0\">\n"
        "      <stop offset=\"0%\" stop-color=\"rgb(255 0 0)\" stop-opacity=\"1\"/>\n"
        "      <stop offset=\"100%\" stop-color=\"rgb(255 255 255)\" stop-opacity=\"1\"/>\n"
        "    </linearGradient>\n"
        "  </defs>\n"
        "  <g id=\"Layer 1\">\n"));
    EXPECT_LT(svg.indexOf("url(#gradient-1)"), svg.indexOf("url(#gradient-2)"));
}

TEST(SvgDocumentBuilder, DefinitionEndingInLineFeedKeepsItsEmptyLine) {
    FakeMeasurer measurer;
    SvgDocumentBuilder converter(measurer);
    SVGContext context;
    context.defs.append("<a>\n");
    const QString svg = converter.buildSVG({}, context);
    EXPECT_TRUE(svg.contains("  <defs>\n    <a>\n    \n  </defs>\n"));
}

TEST(SvgDocumentBuilder, TextPastTheBudgetIsNotBuilt) {
    FakeMeasurer measurer;
    SvgDocumentBuilder converter(measurer);
    const PropertyListDictionary drawing{{"Layers", array({layer({pathShape("M 0 0 L 1 1")})})}};
    SVGContext fits;
    const QString svg = converter.buildSVG(drawing, fits);
    EXPECT_FALSE(fits.failure.has_value());

    SVGContext tight;
    tight.textBudget = svg.size() - 40;
    EXPECT_EQ(converter.buildSVG(drawing, tight), "");
    EXPECT_EQ(tight.failure, svgTooLargeMessage(tight.textBudget));
}

TEST(SvgDocumentBuilder, NumberFormat) {
    EXPECT_EQ(format(1), "1");
    EXPECT_EQ(format(0.5), "0.5");
    EXPECT_EQ(format(12.3456789), "12.345679");
    EXPECT_EQ(format(100), "100");
    EXPECT_EQ(format(0.0000001), "0");
    EXPECT_EQ(format(-0.0), "-0");
    EXPECT_EQ(format(-0.0000001), "-0");
    EXPECT_EQ(format(std::nan("")), "0");
    EXPECT_EQ(format(std::numeric_limits<double>::infinity()), "0");
    EXPECT_EQ(format(-1234567.125), "-1234567.125");
    EXPECT_EQ(format(1e21), "1000000000000000000000");
}

TEST(SvgDocumentBuilder, EscapingKeepsEveryTextWellFormed) {
    EXPECT_EQ(escapeXML(u"a&b\"c'd<e>f"), "a&amp;b&quot;c&apos;d&lt;e&gt;f");
    EXPECT_EQ(escapeXML(u"&amp;"), "&amp;amp;");
    // Characters XML forbids become the replacement character; tabs and breaks stay.
    const QString controls = QString::fromUtf16(u"a\u0001b\tc\nd\uFFFEe") + QChar(0xD800) + "f";
    EXPECT_EQ(escapeXML(controls), QString::fromUtf16(u"a\uFFFDb\tc\nd\uFFFDe\uFFFDf"));
    EXPECT_EQ(escapeXML(QString::fromUtf16(u"\U0001F600")), QString::fromUtf16(u"\U0001F600"));
}

TEST(SvgDocumentBuilder, HostileValuesStillGiveWellFormedSvg) {
    const QString controlText = QString::fromUtf8("bad\x01\x02 text \xff\xfe") + QChar(0xDC00);
    const QString hugePath = QStringLiteral("M 1 2 L 3 4 ").repeated(5 * 1024 * 1024 / 12);
    const PropertyListDictionary drawing = document(
        {{"Version", str(controlText)},
         {"Dimensions", str("{nan, 1e999}")},
         {"Layers",
          array({dict({{"Name", str(controlText)},
                       {"Opacity", str("0.5")},
                       {"Shapes", array({pathShape("M 1e999 0 L nan 5 Z", "{-1e999, 1e999}"),
                                         dict({{"ShapeType", str("PathShape")},
                                               {"Path", str(hugePath)},
                                               {"Appearance", str("not a list")},
                                               {"Opacity", boolean(true)}}),
                                         dict({{"ShapeType", str("TextShape")},
                                               {"Text", str(controlText)},
                                               {"FontName", str(controlText)},
                                               {"TextSpans", array({integer(3)})}}),
                                         dict({{"ShapeType", str("TextOnPathShape")},
                                               {"Path", str("M 0 0 \"><script/>")},
                                               {"Text", str(controlText)}})})}}),
                 str("a layer that is no dictionary")})}});
    const QString svg = build(drawing);
    EXPECT_EQ(xmlError(svg), "");
    // One non-dictionary element makes the whole layer list absent.
    EXPECT_FALSE(svg.contains("<g id="));

    PropertyListDictionary withValidLayers = drawing;
    withValidLayers[2].second = Value::array({(*drawing[2].second.asArray())[0]});
    const QString converted = build(withValidLayers);
    EXPECT_EQ(xmlError(converted), "");
    EXPECT_TRUE(converted.contains("transform=\"translate(0 0)\""));
    EXPECT_TRUE(converted.contains(hugePath));
}

TEST(SvgDocumentBuilder, NestingBeyondTheLimitBecomesOneComment) {
    // A chain of 5,000 groups, built in memory (the reader would have cut it already).
    Value innermost = pathShape("M 0 0 L 10 10");
    for (int i = 0; i < 5000; ++i) {
        innermost = dict({{"ShapeType", str("ShapeGroup")}, {"Shapes", array({innermost})}});
    }
    const QString svg = build(document({{"Layers", array({layer({innermost})})}}));
    EXPECT_EQ(xmlError(svg), "");
    EXPECT_EQ(svg.count("was left out"), 1);
    EXPECT_EQ(svg.count("<g>"), kMaxNestingDepth + 1);

    // A truncation marker left by the reader is replaced by the same comment.
    const Value cut =
        dict({{"ShapeType", str("ShapeGroup")}, {"Shapes", array({Value::truncated()})}});
    const QString marked = build(document({{"Layers", array({layer({cut})})}}));
    EXPECT_TRUE(
        marked.contains("    <g>\n      <!-- Content nested more than 256 levels deep was left "
                        "out. -->\n    </g>\n"));
}
