#include "convert/internal/SvgDocumentBuilder.h"
#include "convert/internal/SvgText.h"
#include "support/Documents.h"
#include "support/XmlChecks.h"

#include <gtest/gtest.h>

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

}  // namespace

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
    // Six decimals, non-finite numbers as 0 and plain numbers show in the golden drawings.
    EXPECT_EQ(format(0.0000001), "0");
    EXPECT_EQ(format(-0.0), "-0");
    EXPECT_EQ(format(-0.0000001), "-0");
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

    // A truncation marker left by the reader becomes the same comment: see the golden
    // drawing hostile/deep-nesting.
}
