#include "convert/internal/Colors.h"
#include "convert/internal/SvgDocumentBuilder.h"
#include "support/Documents.h"

#include <gtest/gtest.h>

using namespace keelwick;
using namespace keelwick::testing;

namespace {

struct StyleCase {
    FakeMeasurer measurer;
    SvgDocumentBuilder converter{measurer};
    SVGContext context;

    StyleInfo resolve(std::initializer_list<Value> items) {
        std::vector<Value> kept(items);
        AppearanceList list;
        for (const Value& item : kept) {
            list.push_back(item.asDictionary());
        }
        return converter.style(list, context);
    }
};

ParsedColor color(const char* text) {
    const QString colorText = QString::fromUtf8(text);
    return parseColor(&colorText, "none");
}

Value fill(const char* color) {
    return dict({{"Type", str("Fill")}, {"FillColor", str(color)}});
}

}  // namespace

TEST(Style, ColoursFromNumbers) {
    EXPECT_EQ(color("rgba(1, 0, 0, 0.5)").color, "rgb(255 0 0)");
    EXPECT_EQ(color("rgba(1, 0, 0, 0.5)").opacity, "0.5");
    EXPECT_EQ(color("255 128 0").color, "rgb(255 128 0)");
    EXPECT_EQ(color("255 128 0").opacity, "1");
    EXPECT_EQ(color("0.5 0.5 0.5").color, "rgb(128 128 128)");
    EXPECT_EQ(color("cmyka(0, 1, 1, 0, 1)").color, "rgb(255 0 0)");
    EXPECT_EQ(color("cmyka(0, 1, 1, 0, 1)").opacity, "1");
    EXPECT_EQ(color("cmyka(0, 0, 0, 1)").color, "rgb(0 0 0)");
    EXPECT_EQ(color("CMYKA(0, 1, 1, 0, 1)").color, "rgb(0 255 255)");
    EXPECT_EQ(color("300 -20 2.5").color, "rgb(300 -20 3)");
    EXPECT_EQ(color("-0.5 0 0").color, "rgb(-128 0 0)");
    // Exponents cannot overflow the integer components.
    EXPECT_EQ(color("1e30 1e999 0").color, "rgb(9223372036854775807 9223372036854775807 0)");
    EXPECT_EQ(color("black").color, "black");
    EXPECT_EQ(color("black").opacity, std::nullopt);
    EXPECT_EQ(parseColor(nullptr, "none").color, "none");
    EXPECT_EQ(parseColor(nullptr, "none").opacity, std::nullopt);
}

TEST(Style, ColourTextsPassOnlyAsOneCSSToken) {
    // Texts with fewer than three numbers pass unchanged when they are one colour token.
    for (const char* token : {"black", "RebeccaPurple", "none", "transparent", "currentColor",
                              " red\t", "#abc", "#ABCD", "#a0bbcc", "#a0bbccdd", "rgb(1, 2)",
                              "RGBA(50%, .5)", "hsl(120deg 1e1%)", "hsla(+1/ -2.5E-1)", "rgb()"}) {
        const ParsedColor parsed = color(token);
        EXPECT_EQ(parsed.color, token);
        EXPECT_EQ(parsed.opacity, std::nullopt) << token;
        EXPECT_EQ(parsed.warning, std::nullopt) << token;
    }
    // Anything else could add declarations or load files from the style attribute.
    const struct {
        const char* text;
        const char* warning;
    } hostile[] = {
        {"red;background-image:url(file:///tmp/x)",
         "Colour \"red;background-image:url(file:///tmp/x)\" was not understood; used none "
         "instead."},
        {"url(#a)", "Colour \"url(#a)\" was not understood; used none instead."},
        {"red !important", "Colour \"red !important\" was not understood; used none instead."},
        {"\"/><x", "Colour \"\"/><x\" was not understood; used none instead."},
        {"red\n--x", "Colour \"red\uFFFD--x\" was not understood; used none instead."},
        {"#abcde", "Colour \"#abcde\" was not understood; used none instead."},
        {"rgb(1 2", "Colour \"rgb(1 2\" was not understood; used none instead."},
        {"rgb(1-2)", "Colour \"rgb(1-2)\" was not understood; used none instead."},
        {"rgb(1 x)", "Colour \"rgb(1 x)\" was not understood; used none instead."},
        {"var(--x)", "Colour \"var(--x)\" was not understood; used none instead."},
        {"", "Colour \"\" was not understood; used none instead."},
        {"redd", "Colour \"redd\" was not understood; used none instead."},
        {"blac\u212A", "Colour \"blac\u212A\" was not understood; used none instead."},
    };
    for (const auto& [text, warning] : hostile) {
        const ParsedColor parsed = color(text);
        EXPECT_EQ(parsed.color, "none") << text;
        EXPECT_EQ(parsed.warning, QString::fromUtf8(warning)) << text;
    }
    // A long text is shortened in its comment.
    const QString longText = QString(100, u'x');
    EXPECT_EQ(parseColor(&longText, "black").warning,
              "Colour \"" + QString(64, u'x') + "\u2026\" was not understood; used black instead.");
}

TEST(Style, ColoursNotUnderstoodBecomeComments) {
    StyleCase style;
    const StyleInfo info = style.resolve(
        {fill("red;cursor:url(file:///dev/zero)"),
         dict({{"Type", str("Stroke")}, {"LineWidth", integer(1)}, {"LineColor", str("x:y")}}),
         dict({{"Type", str("DropShadow")}, {"Color", str("blue}")}})});
    EXPECT_EQ(info.style, "fill:none;stroke:none;stroke-width:1");
    EXPECT_EQ(info.comments,
              (QStringList{"Colour \"red;cursor:url(file:///dev/zero)\" was not understood; used "
                           "none instead.",
                           "Colour \"x:y\" was not understood; used none instead.",
                           "Colour \"blue}\" was not understood; used black instead."}));
    EXPECT_TRUE(style.context.defs.back().contains("flood-color=\"black\""));

    // A gradient stop notes its colour inside the definition, where no "--" may end it early.
    SVGContext context;
    style.converter.gradientFill(
        PropertyListDictionary({{"Colors", array({str("red"), str("a--><b")})}}), context);
    EXPECT_EQ(context.defs.value(0),
              "<linearGradient id=\"gradient-1\" x1=\"0\" y1=\"0\" x2=\"1\" y2=\"0\">\n"
              "  <stop offset=\"0%\" stop-color=\"red\"/>\n"
              "  <!-- Colour &quot;a- -&gt;&lt;b&quot; was not understood; used none instead. -->\n"
              "  <stop offset=\"100%\" stop-color=\"none\"/>\n"
              "</linearGradient>");
}

TEST(Style, FillsAndStrokes) {
    StyleCase style;
    EXPECT_EQ(style.resolve({}).style, "fill:none;stroke:none;stroke-width:0");
    EXPECT_EQ(style.resolve({fill("black")}).style, "fill:black;stroke:none;stroke-width:0");
    EXPECT_EQ(
        style
            .resolve({dict(
                {{"Type", str("Stroke")}, {"LineWidth", integer(2)}, {"LineColor", str("0 0 0")}})})
            .style,
        "fill:none;stroke:rgb(0 0 0);stroke-width:2;stroke-opacity:1;"
        "stroke-linejoin:miter;stroke-linecap:butt");
    EXPECT_EQ(style
                  .resolve({dict({{"Type", str("Stroke")},
                                  {"LineWidth", real(1.5)},
                                  {"LineColor", str("1 0 0 0.5")},
                                  {"LineJoin", integer(1)},
                                  {"LineCap", integer(2)},
                                  {"LineMiter", str("x")}})})
                  .style,
              "fill:none;stroke:rgb(255 0 0);stroke-width:1.5;stroke-opacity:0.5;"
              "stroke-linejoin:round;stroke-linecap:square;stroke-miterlimit:4");
    // No colour: the stroke is "none", so join, cap and miter limit are left out.
    EXPECT_EQ(
        style
            .resolve({dict(
                {{"Type", str("Stroke")}, {"LineWidth", integer(3)}, {"LineMiter", real(10)}})})
            .style,
        "fill:none;stroke:none;stroke-width:3");
    // A later stroke without a miter key keeps the earlier miter limit; codes out of the
    // tables fall back to miter and butt.
    EXPECT_EQ(style
                  .resolve({dict({{"Type", str("Stroke")},
                                  {"LineWidth", integer(1)},
                                  {"LineColor", str("red")},
                                  {"LineMiter", real(10)}}),
                            dict({{"Type", str("Stroke")},
                                  {"LineWidth", integer(2)},
                                  {"LineColor", str("blue")},
                                  {"LineJoin", integer(7)},
                                  {"LineCap", real(1)}})})
                  .style,
              "fill:none;stroke:blue;stroke-width:2;stroke-linejoin:miter;stroke-linecap:butt;"
              "stroke-miterlimit:10");
}

TEST(Style, EnabledFlagsArrowsAndOrder) {
    StyleCase style;
    const Value disabled =
        dict({{"Type", str("Fill")}, {"FillColor", str("blue")}, {"Enabled", boolean(false)}});
    EXPECT_EQ(style.resolve({fill("red"), disabled}).style, "fill:red;stroke:none;stroke-width:0");
    EXPECT_EQ(style.resolve({fill("red"), fill("green")}).style,
              "fill:green;stroke:none;stroke-width:0");
    // "Enabled" that is not a boolean counts as enabled.
    EXPECT_EQ(
        style
            .resolve({dict(
                {{"Type", str("Fill")}, {"FillColor", str("blue")}, {"Enabled", integer(0)}})})
            .style,
        "fill:blue;stroke:none;stroke-width:0");

    const Value zeroWidth = dict({{"Type", str("Stroke")},
                                  {"LineWidth", integer(0)},
                                  {"LineColor", str("red")},
                                  {"LineEndArrow", boolean(true)}});
    const StyleInfo ignored = style.resolve({zeroWidth});
    EXPECT_EQ(ignored.style, "fill:none;stroke:none;stroke-width:0");
    EXPECT_TRUE(ignored.comments.isEmpty());

    const StyleInfo arrows = style.resolve(
        {dict({{"Type", str("Stroke")}, {"LineWidth", integer(1)}, {"LineEndArrow", integer(0)}}),
         dict({{"Type", str("Stroke")}, {"LineWidth", integer(1)}, {"LineStartArrow", str("")}})});
    EXPECT_EQ(arrows.comments,
              (QStringList{"Stroke arrowheads are detected but not converted yet.",
                           "Stroke arrowheads are detected but not converted yet."}));
    EXPECT_EQ(style.context.nextID, 1);
}

TEST(Style, GradientDefinitions) {
    StyleCase style;
    const Value gradient = dict({{"StartPoint", str("{0, 0}")},
                                 {"EndPoint", str("{1, 1}")},
                                 {"Colors", array({str("0 0 0"), str("1 1 1")})}});
    const StyleInfo info = style.resolve(
        {dict({{"Type", str("Fill")}, {"FillType", integer(2)}, {"FillGradient", gradient}})});
    EXPECT_EQ(info.style, "fill:url(#gradient-1);stroke:none;stroke-width:0");
    ASSERT_EQ(style.context.defs.size(), 1);
    EXPECT_EQ(style.context.defs[0],
              "<linearGradient id=\"gradient-1\" x1=\"0\" y1=\"0\" x2=\"1\" y2=\"1\">\n"
              "  <stop offset=\"0%\" stop-color=\"rgb(0 0 0)\" stop-opacity=\"1\"/>\n"
              "  <stop offset=\"100%\" stop-color=\"rgb(255 255 255)\" stop-opacity=\"1\"/>\n"
              "</linearGradient>");
    EXPECT_EQ(style.context.nextID, 2);

    auto stops = [&](std::initializer_list<Entry> keys) {
        SVGContext context;
        style.converter.gradientFill(PropertyListDictionary(keys), context);
        return context.defs.value(0);
    };
    const QString three = stops({{"Colors", array({str("red"), str("green"), str("blue")})}});
    EXPECT_TRUE(
        three.contains("<stop offset=\"0%\" stop-color=\"red\"/>\n"
                       "  <stop offset=\"50%\" stop-color=\"green\"/>\n"
                       "  <stop offset=\"100%\" stop-color=\"blue\"/>"));
    const QString located = stops({{"Colors", array({str("red"), str("green"), str("blue")})},
                                   {"Locations", array({real(0.25), integer(0)})}});
    EXPECT_TRUE(located.contains("offset=\"25%\" stop-color=\"red\""));
    EXPECT_TRUE(located.contains("offset=\"0%\" stop-color=\"green\""));
    EXPECT_TRUE(located.contains("offset=\"100%\" stop-color=\"blue\""));
    // One bad element empties the list: a bad location falls back to spacing, a bad colour
    // leaves a gradient without stops.
    EXPECT_TRUE(stops({{"Colors", array({str("red"), str("blue")})},
                       {"Locations", array({real(0.3), str("0.6")})}})
                    .contains("offset=\"0%\" stop-color=\"red\""));
    EXPECT_EQ(stops({{"Colors", array({str("red"), integer(1)})}}),
              "<linearGradient id=\"gradient-1\" x1=\"0\" y1=\"0\" x2=\"1\" y2=\"0\">\n"
              "</linearGradient>");
    EXPECT_TRUE(stops({{"Colors", array({str("red")})}}).contains("offset=\"0%\""));
}

TEST(Style, ReplacedGradientStaysDefinedAndIdsAreShared) {
    StyleCase style;
    const Value gradient = dict({{"Colors", array({str("red")})}});
    const StyleInfo info = style.resolve(
        {dict({{"Type", str("Fill")}, {"FillType", integer(2)}, {"FillGradient", gradient}}),
         fill("blue"), dict({{"Type", str("DropShadow")}})});
    EXPECT_EQ(info.style, "fill:blue;stroke:none;stroke-width:0");
    EXPECT_EQ(info.filter, "url(#filter-2)");
    EXPECT_EQ(style.context.defs.size(), 2);
    // "FillType" 2 without a gradient dictionary is a colour fill.
    EXPECT_EQ(
        style
            .resolve({dict(
                {{"Type", str("Fill")}, {"FillType", integer(2)}, {"FillColor", str("teal")}})})
            .style,
        "fill:teal;stroke:none;stroke-width:0");
}
