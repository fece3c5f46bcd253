#include "convert/internal/SvgDocumentBuilder.h"
#include "support/Documents.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace keelwick {
namespace {

using keelwick::testing::Entry;
using keelwick::testing::FakeMeasurer;

using keelwick::testing::str;
constexpr auto entry = keelwick::testing::document;

PropertyListDictionary effect(const QString& type, std::initializer_list<Entry> more = {}) {
    PropertyListDictionary dictionary = entry({{"Type", PropertyListValue::string(type)}});
    dictionary.insert(dictionary.end(), more);
    return dictionary;
}

const Entry kDisabled{"Enabled", PropertyListValue::boolean(false)};

// The definition every effect becomes: its comment, the filter region and one primitive.
QString definition(const QString& id, const QString& type, const QString& primitiveAttributes) {
    return "<!-- Graphic/iDraw effect " + type + " approximated as SVG filter. -->\n" +
           "<filter id=\"" + id + "\" x=\"-50%\" y=\"-50%\" width=\"200%\" height=\"200%\">\n" +
           "  <feDropShadow " + primitiveAttributes + "/>\n" + "</filter>";
}

class EffectsTest : public ::testing::Test {
  protected:
    FilterResult convert(const std::vector<PropertyListDictionary>& appearance) {
        AppearanceList list;
        for (const PropertyListDictionary& item : appearance) {
            list.push_back(&item);
        }
        return converter.filter(list, context);
    }

    SVGContext context;
    FakeMeasurer measurer;
    SvgDocumentBuilder converter{measurer};
};

TEST_F(EffectsTest, DropShadowAmongFillAndStrokeBecomesOneFilter) {
    context.nextID = 3;
    const FilterResult result =
        convert({entry({{"Type", str("Fill")}, {"FillColor", str("{1, 0, 0}")}}),
                 entry({{"Type", str("Stroke")}, {"LineWidth", PropertyListValue::integer(2)}}),
                 effect("DropShadow",
                        {{"Blur", PropertyListValue::integer(8)}, {"Offset", str("{3, 4}")}})});

    EXPECT_EQ(result.reference, "url(#filter-3)");
    EXPECT_TRUE(result.comments.isEmpty());
    EXPECT_EQ(context.nextID, 4);
    ASSERT_EQ(context.defs.size(), 1);
    EXPECT_EQ(context.defs[0],
              definition("filter-3", "DropShadow",
                         "dx=\"3\" dy=\"4\" stdDeviation=\"4\" flood-color=\"black\" "
                         "flood-opacity=\"1\""));
}

TEST_F(EffectsTest, ColourBlurAndOffsetAreReadLeniently) {
    convert({effect("DropShadow", {{"Blur", PropertyListValue::real(3)},
                                   {"Offset", str("{-2.5, 7}")},
                                   {"Color", str("rgba(0, 0, 0, 0.5)")}})});
    // Missing and ill-typed values take their defaults; a string is never a number.
    convert({effect("DropShadow", {{"Blur", str("8")}, {"Offset", str("{5}")}})});
    convert({effect("OuterGlow", {{"Color", str("red")}, {"Blur", PropertyListValue::real(1)}})});

    ASSERT_EQ(context.defs.size(), 3);
    EXPECT_EQ(context.defs[0],
              definition("filter-1", "DropShadow",
                         "dx=\"-2.5\" dy=\"7\" stdDeviation=\"1.5\" flood-color=\"rgb(0 0 0)\" "
                         "flood-opacity=\"0.5\""));
    EXPECT_EQ(context.defs[1],
              definition("filter-2", "DropShadow",
                         "dx=\"0\" dy=\"0\" stdDeviation=\"0\" flood-color=\"black\" "
                         "flood-opacity=\"1\""));
    EXPECT_EQ(context.defs[2],
              definition("filter-3", "OuterGlow",
                         "dx=\"0\" dy=\"0\" stdDeviation=\"0.5\" flood-color=\"red\" "
                         "flood-opacity=\"1\""));
}

TEST_F(EffectsTest, InnerEffectsAreDrawnAsOuterOnesWithAComment) {
    const FilterResult glow = convert({effect(
        "InnerGlow", {{"Offset", str("{5, 5}")}, {"Blur", PropertyListValue::integer(2)}})});
    EXPECT_EQ(glow.comments, QStringList{"InnerGlow is approximated as an outer glow filter."});
    EXPECT_EQ(context.defs.value(0),
              definition("filter-1", "InnerGlow",
                         "dx=\"0\" dy=\"0\" stdDeviation=\"1\" flood-color=\"black\" "
                         "flood-opacity=\"1\""));

    const FilterResult shadow = convert({effect("InnerShadow", {{"Offset", str("{1, -2}")}})});
    EXPECT_EQ(shadow.reference, "url(#filter-2)");
    EXPECT_EQ(shadow.comments, QStringList{"InnerShadow is approximated as a drop shadow filter."});
    EXPECT_EQ(context.defs.value(1),
              definition("filter-2", "InnerShadow",
                         "dx=\"1\" dy=\"-2\" stdDeviation=\"0\" flood-color=\"black\" "
                         "flood-opacity=\"1\""));
}

TEST_F(EffectsTest, OnlyTheFirstEnabledEffectIsConverted) {
    const QString additional =
        "Only the first enabled effect was converted; additional effects were ignored.";

    // A disabled effect is not selected, so nothing was left out.
    const FilterResult afterDisabled = convert(
        {effect("DropShadow", {kDisabled, {"Offset", str("{9, 9}")}}), effect("OuterGlow")});
    EXPECT_TRUE(afterDisabled.comments.isEmpty());
    EXPECT_TRUE(context.defs.value(0).startsWith("<!-- Graphic/iDraw effect OuterGlow "));

    const FilterResult twoShadows = convert({effect("DropShadow", {{"Offset", str("{1, 2}")}}),
                                             effect("DropShadow", {{"Offset", str("{8, 9}")}})});
    EXPECT_EQ(twoShadows.comments, QStringList{additional});
    EXPECT_TRUE(context.defs.value(1).contains("dx=\"1\" dy=\"2\""));

    const FilterResult innerFirst =
        convert({effect("InnerShadow"), effect("Bevel"), effect("InnerGlow")});
    EXPECT_EQ(innerFirst.comments,
              (QStringList{"InnerShadow is approximated as a drop shadow filter.", additional}));

    // Only the boolean false disables; other kinds of entries never count as effects.
    const FilterResult lenient =
        convert({effect("Bevel"), entry({{"Type", PropertyListValue::integer(1)}}),
                 effect("OuterGlow", {{"Enabled", str("NO")}}),
                 effect("DropShadow", {{"Enabled", PropertyListValue::integer(0)}})});
    EXPECT_EQ(lenient.comments, QStringList{additional});
    EXPECT_TRUE(context.defs.value(3).startsWith("<!-- Graphic/iDraw effect OuterGlow "));
    EXPECT_EQ(context.nextID, 5);
}

TEST_F(EffectsTest, ListsWithoutEnabledEffectsLeaveTheContextAlone) {
    context.nextID = 6;
    for (const std::vector<PropertyListDictionary>& appearance :
         std::vector<std::vector<PropertyListDictionary>>{
             {},
             {entry({{"Type", str("Fill")}}), effect("Bevel"), effect("dropshadow"),
              effect("InnerGlow", {kDisabled}), entry({})}}) {
        const FilterResult result = convert(appearance);
        EXPECT_FALSE(result.reference.has_value());
        EXPECT_TRUE(result.comments.isEmpty());
    }
    EXPECT_TRUE(context.defs.isEmpty());
    EXPECT_EQ(context.nextID, 6);
}

TEST_F(EffectsTest, FilterIdsShareTheCounterWithOtherDefinitions) {
    EXPECT_EQ(context.takeID(u"gradient-"), "gradient-1");
    EXPECT_EQ(convert({effect("OuterGlow")}).reference, "url(#filter-2)");
    EXPECT_EQ(context.takeID(u"text-path-"), "text-path-3");
    EXPECT_EQ(convert({effect("DropShadow")}).reference, "url(#filter-4)");
    EXPECT_EQ(context.defs.size(), 2);
}

}  // namespace
}  // namespace keelwick
