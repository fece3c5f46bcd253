#include "convert/Fonts.h"
#include "convert/PropertyListValue.h"
#include "convert/VellixConverter.h"

#include <gtest/gtest.h>

#include <QSet>
#include <QStringList>

#include <thread>
#include <vector>

namespace keelwick {
namespace {

PropertyListValue text(const QString& value) {
    return PropertyListValue::string(value);
}

PropertyListValue dictionary(PropertyListDictionary entries) {
    return PropertyListValue::dictionary(std::move(entries));
}

PropertyListValue array(PropertyListArray elements) {
    return PropertyListValue::array(std::move(elements));
}

PropertyListDictionary documentWithShapes(PropertyListArray shapes) {
    return {{"Layers", array({dictionary({{"Shapes", array(std::move(shapes))}})})}};
}

PropertyListValue group(PropertyListArray children) {
    return dictionary({{"ShapeType", text("ShapeGroup")}, {"Shapes", array(std::move(children))}});
}

TEST(UsedFonts, ReadsEveryShapeKindAndKeepsNamesAsWritten) {
    // A path shape carrying child shapes is descended into like a group; names keep their
    // case and spaces; several layers all count.
    const PropertyListDictionary document{
        {"Layers",
         array({
             dictionary(
                 {{"Shapes",
                   array({dictionary(
                       {{"ShapeType", text("PathShape")},
                        {"Shapes", array({dictionary({{"FontName", text("Gill Sans ")}})})}})})}}),
             dictionary({{"Shapes", array({dictionary({{"FontName", text("gill sans")}})})}}),
         })}};
    EXPECT_EQ(VellixConverter::usedFonts(document), (QSet<QString>{"Gill Sans ", "gill sans"}));
}

TEST(UsedFonts, IgnoresValuesOfOtherTypes) {
    const PropertyListDictionary document = documentWithShapes({
        dictionary({{"FontName", PropertyListValue::integer(12)}}),
        dictionary({{"FontName", array({text("Nested")})}}),
        // One run that is not a dictionary makes the whole run list unreadable.
        dictionary({{"TextSpans", array({dictionary({{"FontName", text("Lost")}}), text("x")})}}),
        dictionary(
            {{"TextSpans", array({dictionary({{"FontName", PropertyListValue::real(1)}})})}}),
        dictionary({{"Shapes", text("not a list")}}),
        dictionary({{"FontName", text("Kept")}}),
    });
    EXPECT_EQ(VellixConverter::usedFonts(document), QSet<QString>{"Kept"});

    EXPECT_TRUE(VellixConverter::usedFonts({}).isEmpty());
    EXPECT_TRUE(VellixConverter::usedFonts({{"Layers", text("none")}}).isEmpty());
    EXPECT_TRUE(VellixConverter::usedFonts({{"Layers", array({text("not a layer")})}}).isEmpty());
    EXPECT_TRUE(VellixConverter::missingFontNames({}).isEmpty());
}

TEST(UsedFonts, StopsAtTheNestingLimitOfVeryDeepTrees) {
    // 100,000 groups, far deeper than a reader would produce, built bottom-up. Every group
    // writes the font "Level<depth>"; depth 0 is a layer's own shape.
    constexpr int kGroupCount = 100000;
    std::vector<PropertyListValue> levels(kGroupCount);
    PropertyListValue child;
    for (int depth = kGroupCount - 1; depth >= 0; --depth) {
        PropertyListDictionary entries{{"ShapeType", text("ShapeGroup")},
                                       {"FontName", text(QStringLiteral("Level%1").arg(depth))}};
        if (!child.isNone()) {
            entries.emplace_back("Shapes", array({child}));
        }
        child = dictionary(std::move(entries));
        levels[depth] = child;
    }
    PropertyListDictionary document = documentWithShapes({child});
    child = PropertyListValue();

    const QSet<QString> fonts = VellixConverter::usedFonts(document);
    EXPECT_EQ(fonts.size(), kMaxNestingDepth + 1);
    EXPECT_TRUE(fonts.contains("Level0"));
    EXPECT_TRUE(fonts.contains(QStringLiteral("Level%1").arg(kMaxNestingDepth)));
    EXPECT_FALSE(fonts.contains(QStringLiteral("Level%1").arg(kMaxNestingDepth + 1)));

    // Freed from the top down, one level at a time: letting the chain unwind on its own
    // would recurse through every level.
    document.clear();
    for (PropertyListValue& level : levels) {
        level = PropertyListValue();
    }
}

TEST(NormalizeFontName, KeepsLowercasedLettersAndNumbersOnly) {
    EXPECT_EQ(normalizeFontName("HelveticaNeue-Bold"), "helveticaneuebold");
    EXPECT_EQ(normalizeFontName("Helvetica Neue Bold"), "helveticaneuebold");
    EXPECT_EQ(normalizeFontName(" ITC_Avant.Garde (2) "), "itcavantgarde2");
    EXPECT_EQ(normalizeFontName(QString::fromUtf8("Ärger Grotesk \u00B2")),
              QString::fromUtf8("ärgergrotesk\u00B2"));
    EXPECT_EQ(normalizeFontName(QString::fromUtf8("明朝 Pro-W3")), QString::fromUtf8("明朝prow3"));
    // Beyond U+FFFF: a Deseret capital is lowercased and kept, an emoji is not a letter.
    EXPECT_EQ(normalizeFontName(QString::fromUtf8("\U00010400ab\U0001F600")),
              QString::fromUtf8("\U00010428ab"));
    EXPECT_EQ(normalizeFontName("--- ..."), "");
}

TEST(MissingFontRule, MatchesExactOrNormalizedInstalledNames) {
    const InstalledFonts installed =
        InstalledFonts::fromNames({"Helvetica", "HelveticaNeue-Bold", "Futura-Medium"});
    EXPECT_FALSE(installed.isMissing("Helvetica"));
    EXPECT_FALSE(installed.isMissing("helvetica"));
    EXPECT_FALSE(installed.isMissing("Helvetica "));
    EXPECT_FALSE(installed.isMissing("Helvetica Neue Bold"));
    EXPECT_FALSE(installed.isMissing("FUTURA medium"));
    EXPECT_TRUE(installed.isMissing("Helvetica Neue"));
    EXPECT_TRUE(installed.isMissing("Futura"));
    EXPECT_TRUE(installed.isMissing(""));

    // A name that normalizes to nothing is missing unless such a name is installed.
    EXPECT_FALSE(InstalledFonts::fromNames({"..."}).isMissing("-"));
}

TEST(MissingFontRule, ReportsEachMissingNameOnceInScalarOrder) {
    const PropertyListDictionary document = documentWithShapes({
        dictionary({{"FontName", text("Zapfino")}}),
        dictionary({{"FontName", text("avenir")}}),
        dictionary({{"FontName", text("Helvetica")}}),
        group({dictionary({{"FontName", text("Zapfino")}}),
               dictionary(
                   {{"TextSpans", array({dictionary({{"FontName", text("Zapfino")}}),
                                         dictionary({{"FontName", text("Baskerville")}})})}})}),
    });
    const InstalledFonts installed = InstalledFonts::fromNames({"Helvetica"});
    EXPECT_EQ(missingFontNames(VellixConverter::usedFonts(document), installed),
              (QStringList{"Baskerville", "Zapfino", "avenir"}));
}

TEST(MissingFontRule, SortsCharactersBeyondTheBasicPlaneLast) {
    // UTF-16 order would put U+1F600 (stored as surrogates D83D DE00) before U+FB01.
    const QString ligature = QString::fromUtf8("\uFB01ne");
    const QString emoji = QString::fromUtf8("\U0001F600Face");
    const QSet<QString> used{emoji, ligature, "avenir", "Zapfino", QString::fromUtf8("Äpfel")};
    EXPECT_EQ(missingFontNames(used, InstalledFonts{}),
              (QStringList{"Zapfino", "avenir", QString::fromUtf8("Äpfel"), ligature, emoji}));

    EXPECT_TRUE(precedesInScalarOrder(u"a", u"ab"));
    EXPECT_FALSE(precedesInScalarOrder(u"ab", u"a"));
    EXPECT_FALSE(precedesInScalarOrder(u"a", u"a"));
    EXPECT_TRUE(precedesInScalarOrder(u"Z", u"a"));
}

TEST(InstalledFonts, ListsPostScriptNamesOfInstalledFaces) {
    const QStringList names = installedFontNames();
    EXPECT_TRUE(names.contains("DejaVuSans"));
    EXPECT_TRUE(names.contains("DejaVuSans-Bold"));
    EXPECT_FALSE(names.contains("DejaVu Sans"));  // a family name, not a face name

    const InstalledFonts installed = InstalledFonts::fetch();
    EXPECT_TRUE(installed.names.contains("DejaVuSans-Bold"));
    EXPECT_TRUE(installed.normalizedNames.contains("dejavusansbold"));
}

TEST(InstalledFonts, ListingFromSeveralThreadsAgrees) {
    const QStringList expected = installedFontNames();
    std::vector<QStringList> listed(4);
    std::vector<std::thread> threads;
    for (QStringList& names : listed) {
        threads.emplace_back([&names] {
            for (int round = 0; round < 5; ++round) {
                names = installedFontNames();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const QStringList& names : listed) {
        EXPECT_EQ(names, expected);
    }
}

TEST(MissingFontNames, AsksTheInstalledFontCatalogue) {
    const PropertyListDictionary document = documentWithShapes({
        dictionary({{"FontName", text("DejaVuSans")}}),
        dictionary({{"FontName", text("dejavu sans bold")}}),
        dictionary(
            {{"TextSpans", array({dictionary({{"FontName", text("KeelwickNoSuchFont-Bold")}}),
                                  dictionary({{"FontName", text("DejaVu Sans Mono")}})})}}),
        dictionary({{"FontName", text("Keelwick Absent")}}),
    });
    EXPECT_EQ(VellixConverter::missingFontNames(document),
              (QStringList{"Keelwick Absent", "KeelwickNoSuchFont-Bold"}));
}

}  // namespace
}  // namespace keelwick
