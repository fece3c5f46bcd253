#include "convert/internal/SvgDocumentBuilder.h"
#include "support/Documents.h"

#include <gtest/gtest.h>

using namespace keelwick;
using namespace keelwick::testing;

namespace {

struct TextCase {
    FakeMeasurer measurer;
    SvgDocumentBuilder converter{measurer};
    SVGContext context;

    Lines text(std::initializer_list<Entry> keys, const QString& indent = "    ") {
        return converter.convertText(PropertyListDictionary(keys), context, indent);
    }
    Lines textOnPath(std::initializer_list<Entry> keys) {
        return converter.convertTextOnPath(PropertyListDictionary(keys), context, "    ");
    }
    QStringList rows(const QString& text, std::optional<double> maxWidth) {
        return converter.wrappedTextRows(text, maxWidth, "Helvetica", 12, 0);
    }
};

}  // namespace

TEST(TextConversion, SingleRowElement) {
    TextCase text;
    EXPECT_EQ(
        text.text({{"Position", str("{10, 20}")}, {"Text", str("Tom & \"Jerry's\" <3>")}}),
        Lines{"    <text x=\"10\" y=\"20\" text-anchor=\"start\" dominant-baseline=\"central\" "
              "font-family=\"sans-serif\" font-size=\"12\" fill=\"black\">"
              "Tom &amp; &quot;Jerry&apos;s&quot; &lt;3&gt;</text>"});
    EXPECT_EQ(
        text.text({{"Position", str("{10, 20}")},
                   {"TextAlignment", integer(2)},
                   {"Opacity", real(0.5)},
                   {"FontName", str("Futura & Co")},
                   {"FontSize", real(18)},
                   {"Kerning", real(0)},
                   {"TextColor", str("0 0 1")},
                   {"Text", str("Hi")}}),
        Lines{"    <text x=\"10\" y=\"20\" text-anchor=\"middle\" dominant-baseline=\"central\" "
              "opacity=\"0.5\" font-family=\"Futura &amp; Co\" font-size=\"18\" "
              "fill=\"rgb(0 0 255)\" fill-opacity=\"1\" letter-spacing=\"0\">Hi</text>"});
    // Alignment 1 is "end"; a non-integer alignment and no position give the defaults.
    EXPECT_TRUE(text.text({{"TextAlignment", integer(1)}})[0].contains("text-anchor=\"end\""));
    EXPECT_TRUE(text.text({{"TextAlignment", real(1)}, {"Position", str("{5}")}})[0].startsWith(
        "    <text x=\"0\" y=\"0\" text-anchor=\"start\""));
}

TEST(TextConversion, RunsGiveTextAndTheFirstRunsFont) {
    TextCase text;
    const Lines lines = text.text(
        {{"FontName", str("Optima")},
         {"FontSize", real(30)},
         {"Kerning", real(2)},
         {"TextSpans",
          array({dict({{"Text", str("Hel")}, {"FontSize", str("big")}, {"TextColor", str("red")}}),
                 dict({{"FontName", str("Courier")}}), dict({{"Text", str("lo")}})})}});
    // The run's size is no number, so the shape's applies; only the shape has "Kerning",
    // so no letter-spacing is written.
    EXPECT_EQ(lines, Lines{"    <text x=\"0\" y=\"0\" text-anchor=\"start\" "
                           "dominant-baseline=\"central\" font-family=\"Optima\" font-size=\"30\" "
                           "fill=\"red\">Hello</text>"});
    // A shape "Text" wins over the runs, even when empty.
    EXPECT_TRUE(
        text.text({{"Text", str("")}, {"TextSpans", array({dict({{"Text", str("x")}})})}})[0]
            .endsWith("></text>"));
}

TEST(TextConversion, WrappedRowsInTheTextBox) {
    TextCase text;
    text.measurer.setWidth("alpha beta", 100.2);
    text.measurer.setWidth("one two", 99.2);
    auto box = [&](int alignment, const char* words) {
        return text.text({{"Position", str("{10, 20}")},
                          {"Path", str("M 0 0 L 100 0 L 100 60 L 0 60 Z")},
                          {"TextAlignment", integer(alignment)},
                          {"Text", str(words)}});
    };
    EXPECT_EQ(box(0, "alpha beta"),
              (Lines{"    <text x=\"10\" y=\"20\" text-anchor=\"start\" "
                     "dominant-baseline=\"central\">",
                     "      <tspan font-family=\"sans-serif\" font-size=\"12\" fill=\"black\" "
                     "x=\"10\" y=\"31.52\">alpha</tspan>",
                     "      <tspan font-family=\"sans-serif\" font-size=\"12\" fill=\"black\" "
                     "x=\"10\" dy=\"14.4\">beta</tspan>",
                     "    </text>"}));
    EXPECT_TRUE(box(2, "alpha beta")[1].contains("x=\"60\" y=\"31.52\""));
    EXPECT_TRUE(box(1, "alpha beta")[2].contains("x=\"110\" dy=\"14.4\""));
    // 99.2 rounds up to 100, which still fits a box 100 wide.
    EXPECT_EQ(box(0, "one two").size(), 1);
}

TEST(TextConversion, RowBreaking) {
    TextCase text;
    EXPECT_EQ(text.rows("a\r\nb\rc", std::nullopt), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(text.rows("\n\n", std::nullopt), (QStringList{"", "", ""}));
    EXPECT_EQ(text.rows("", 100), (QStringList{""}));
    EXPECT_EQ(text.rows("  lonely  ", 1), (QStringList{"  lonely  "}));
    // 6 units a character: "aa bb" is 30 wide, "aa bb cc" 48.
    EXPECT_EQ(text.rows("aa  bb cc\tdd ", 30), (QStringList{"aa bb", "cc\tdd"}));
    EXPECT_EQ(text.rows("enormousword x", 6), (QStringList{"enormousword", "x"}));
    EXPECT_EQ(text.rows("a b", 0), (QStringList{"a b"}));
    EXPECT_EQ(text.rows("a b", -5), (QStringList{"a b"}));

    // Without a box, line breaks alone make rows; three empty rows are three tspans.
    const Lines empty = text.text({{"Text", str("\n\n")}});
    ASSERT_EQ(empty.size(), 5);
    EXPECT_EQ(empty[1],
              "      <tspan font-family=\"sans-serif\" font-size=\"12\" fill=\"black\" "
              "x=\"0\" y=\"0\"></tspan>");
    EXPECT_TRUE(empty[3].endsWith("x=\"0\" dy=\"14.4\"></tspan>"));
}

TEST(TextConversion, HugeTextWrapsInLinearTime) {
    TextCase text;
    const QString words = QStringLiteral("word ").repeated(200000);
    const QStringList rows = text.rows(words, 1e12);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0], words.trimmed());
}

TEST(TextConversion, StyleCommentsAndFilterApplyToText) {
    TextCase text;
    const Lines lines = text.text(
        {{"Text", str("x")},
         {"Appearance",
          array(
              {dict({{"Type", str("Fill")}, {"FillType", integer(2)}, {"FillGradient", dict({})}}),
               dict({{"Type", str("InnerShadow")}})})}},
        "  ");
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "  <!-- InnerShadow is approximated as a drop shadow filter. -->");
    EXPECT_TRUE(
        lines[1].startsWith("  <text x=\"0\" y=\"0\" text-anchor=\"start\" "
                            "dominant-baseline=\"central\" filter=\"url(#filter-2)\" "
                            "font-family"));
    // The gradient definition stays, unreferenced.
    EXPECT_TRUE(text.context.defs[0].startsWith("<linearGradient id=\"gradient-1\""));
}

TEST(TextOnPath, PathDefinitionAndRuns) {
    TextCase text;
    const Lines lines = text.textOnPath(
        {{"Path", str("M 0 0 C 1 \"2\" & 3")},
         {"FillTransform", str("2 0 0 2 0 0")},
         {"TextAlignment", integer(2)},
         {"StartOffset", integer(50)},
         {"Opacity", real(0.5)},
         {"FontName", str("Baskerville")},
         {"Text", str("ignored")},
         {"Appearance", array({dict({{"Type", str("DropShadow")}})})},
         {"TextSpans", array({dict({{"Text", str("Curved ")}, {"FontSize", integer(20)}}),
                              dict({{"Text", str("<text>")},
                                    {"FontName", str("Courier")},
                                    {"Kerning", real(1.5)},
                                    {"TextColor", str("1 0 0")}})})}});
    EXPECT_EQ(
        lines,
        (Lines{"    <text text-anchor=\"middle\" opacity=\"0.5\">",
               "      <textPath href=\"#text-path-1\" startOffset=\"50\">",
               "        <tspan font-family=\"Baskerville\" font-size=\"20\" "
               "fill=\"black\">Curved </tspan>",
               "        <tspan font-family=\"Courier\" font-size=\"12\" fill=\"rgb(255 0 0)\" "
               "fill-opacity=\"1\" letter-spacing=\"1.5\">&lt;text&gt;</tspan>",
               "      </textPath>", "    </text>"}));
    EXPECT_EQ(text.context.defs,
              QStringList{"<path id=\"text-path-1\" d=\"M 0 0 C 1 &quot;2&quot; &amp; 3\" "
                          "transform=\"matrix(2 0 0 2 0 0)\"/>"});
    EXPECT_EQ(text.context.nextID, 2);
}

TEST(TextOnPath, ShapeWithoutPathOrRuns) {
    TextCase text;
    text.context.nextID = 7;
    const Lines lines = text.textOnPath({{"Text", str("Plain")}, {"Kerning", integer(0)}});
    EXPECT_EQ(lines[0], "    <text text-anchor=\"start\">");
    EXPECT_EQ(lines[1], "      <textPath href=\"#text-path-7\" startOffset=\"0\">");
    EXPECT_EQ(lines[2],
              "        <tspan font-family=\"sans-serif\" font-size=\"12\" fill=\"black\" "
              "letter-spacing=\"0\">Plain</tspan>");
    EXPECT_EQ(text.context.defs, QStringList{"<path id=\"text-path-7\" d=\"\"/>"});
    EXPECT_EQ(text.textOnPath({})[2],
              "        <tspan font-family=\"sans-serif\" font-size=\"12\" fill=\"black\"></tspan>");
}

TEST(TextConversion, TextColoursNotUnderstoodAreNotedBeforeTheElement) {
    TextCase text;
    const Lines plain = text.text({{"Text", str("x")}, {"TextColor", str("red;x:url(a)")}});
    ASSERT_EQ(plain.size(), 2);
    EXPECT_EQ(
        plain[0],
        "    <!-- Colour &quot;red;x:url(a)&quot; was not understood; used black instead. -->");
    EXPECT_TRUE(plain[1].contains("fill=\"black\">x</text>"));

    const Lines curved = text.textOnPath(
        {{"TextSpans", array({dict({{"Text", str("a")}, {"TextColor", str("blue")}}),
                              dict({{"Text", str("b")}, {"TextColor", str("b;c")}})})}});
    EXPECT_EQ(curved[0],
              "    <!-- Colour &quot;b;c&quot; was not understood; used black instead. -->");
    EXPECT_EQ(curved[1], "    <text text-anchor=\"start\">");
    EXPECT_TRUE(curved[3].contains("fill=\"blue\">a</tspan>"));
    EXPECT_TRUE(curved[4].contains("fill=\"black\">b</tspan>"));
}
