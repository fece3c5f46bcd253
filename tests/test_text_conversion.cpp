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

// The rows of a text: carriage returns break like line feeds; a box narrower than a word
// keeps the word whole; a width of 0 or less means no box. The fake measurer gives 6 units a
// character unless told otherwise, and a measured width is rounded up before it is compared.
TEST(TextConversion, RowBreaking) {
    const struct {
        const char* text;
        std::optional<double> maxWidth;
        QStringList rows;
    } cases[] = {
        {"a\r\nb\rc", std::nullopt, {"a", "b", "c"}},
        {"\n\n", std::nullopt, {"", "", ""}},
        {"", 100, {""}},
        {"  lonely  ", 1, {"  lonely  "}},
        {"aa  bb cc\tdd ", 30, {"aa bb", "cc\tdd"}},  // "aa bb" is 30 wide, "aa bb cc" 48
        {"enormousword x", 6, {"enormousword", "x"}},
        {"a b", 0, {"a b"}},
        {"a b", -5, {"a b"}},
        {"alpha beta", 100, {"alpha", "beta"}},  // 100.2 wide: rounded up, it passes 100
        {"one two", 100, {"one two"}},           // 99.2 wide: rounded up to 100, it fits
    };
    TextCase text;
    text.measurer.setWidth("alpha beta", 100.2);
    text.measurer.setWidth("one two", 99.2);
    for (const auto& [words, maxWidth, rows] : cases) {
        EXPECT_EQ(text.rows(words, maxWidth), rows) << words;
    }
}

TEST(TextConversion, HugeTextWrapsInLinearTime) {
    TextCase text;
    const QString words = QStringLiteral("word ").repeated(200000);
    const QStringList rows = text.rows(words, 1e12);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0], words.trimmed());
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
