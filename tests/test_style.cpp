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

// Colours read from numbers beyond what the golden drawings show: fractions below 0, halves
// rounded up, exponents that would overflow the integer components.
TEST(Style, ColoursFromNumbers) {
    const struct {
        const char* text;
        const char* color;
    } cases[] = {
        {"-0.5 0 0", "rgb(-128 0 0)"},
        {"300 -20 2.5", "rgb(300 -20 3)"},
        {"1e30 1e999 0", "rgb(9223372036854775807 9223372036854775807 0)"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(color(text).color, expected) << text;
        EXPECT_EQ(color(text).opacity, "1") << text;
    }
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
    const StyleInfo info =
        style.resolve({fill("red;cursor:url(file:///dev/zero)"),
                       dict({{"Type", str("Stroke")},
                             {"LineWidth", integer(1)},
                             {"LineColor", str("x:y")},
                             {"LineMiter", real(10)}}),
                       dict({{"Type", str("DropShadow")}, {"Color", str("blue}")}})});
    // A stroke without a colour writes no join, cap or miter limit.
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
