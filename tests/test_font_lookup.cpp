#include "convert/FontLookup.h"

#include <gtest/gtest.h>

#include <QSet>
#include <QUrlQuery>

#include <vector>

namespace keelwick::FontLookup {
namespace {

TEST(FontLookupSource, RawValuesTitlesAndOrder) {
    EXPECT_EQ(allSources, (std::array{Source::googleFonts, Source::myFonts, Source::adobeFonts}));
    QStringList raw;
    QStringList titles;
    for (const Source source : allSources) {
        raw.append(rawValue(source));
        titles.append(title(source));
        EXPECT_EQ(sourceFromRawValue(rawValue(source)), source);
    }
    EXPECT_EQ(raw, (QStringList{"googleFonts", "myFonts", "adobeFonts"}));
    EXPECT_EQ(titles, (QStringList{"Google Fonts", "MyFonts", "Adobe Fonts"}));

    EXPECT_EQ(sourceFromRawValue("GoogleFonts"), std::nullopt);
    EXPECT_EQ(sourceFromRawValue("Google Fonts"), std::nullopt);
    EXPECT_EQ(sourceFromRawValue(""), std::nullopt);
}

TEST(StyleWords, AreTheThirtyFourLowercaseFaceWords) {
    const QSet<QString>& words = styleWords();
    EXPECT_EQ(words.size(), 34);
    for (const char* word : {"thin", "hairline", "demibold", "black", "italics", "cond", "wide",
                             "upright", "extra", "ultra", "book", "roman"}) {
        EXPECT_TRUE(words.contains(word)) << word;
    }
    EXPECT_FALSE(words.contains("Bold"));  // the set is lowercase; callers lowercase first
    EXPECT_FALSE(words.contains("sans"));
}

TEST(SplitIntoWords, SplitsAtSeparatorsCaseChangesAndNumbers) {
    EXPECT_EQ(splitIntoWords("Open_Sans-Bold"), (QStringList{"Open", "Sans", "Bold"}));
    EXPECT_EQ(splitIntoWords("MyriadPro Bold Condensed"),
              (QStringList{"Myriad", "Pro", "Bold", "Condensed"}));
    EXPECT_EQ(splitIntoWords("Helvetica45Light"), (QStringList{"Helvetica", "45", "Light"}));
    EXPECT_EQ(splitIntoWords("ABCDef"), QStringList{"ABCDef"});
    EXPECT_EQ(splitIntoWords("SFNSText"), QStringList{"SFNSText"});
    EXPECT_EQ(splitIntoWords("  Gill   Sans  "), (QStringList{"Gill", "Sans"}));
    EXPECT_EQ(splitIntoWords("--__"), QStringList{});
    EXPECT_EQ(splitIntoWords(""), QStringList{});
    // A tab is not a separator; punctuation is neither a letter nor a number.
    EXPECT_EQ(splitIntoWords("A\tB&Co."), QStringList{"A\tB&Co."});
    // Accented and non-Latin letters take part; a combining accent stays with its letter.
    EXPECT_EQ(splitIntoWords(QString::fromUtf8("ÉcoleÖl2")),
              (QStringList{QString::fromUtf8("École"), QString::fromUtf8("Öl"), "2"}));
    EXPECT_EQ(splitIntoWords(QString::fromUtf8("Cafe\u0301Bold")),
              (QStringList{QString::fromUtf8("Cafe\u0301"), "Bold"}));
    EXPECT_EQ(splitIntoWords(QString::fromUtf8("明朝Pro")),
              QStringList{QString::fromUtf8("明朝Pro")});
}

TEST(SearchTerm, FindsTheFamilyOfAFontName) {
    const std::vector<std::pair<QString, QString>> examples{
        {"Helvetica-BoldOblique", "Helvetica"},
        {"OpenSans-Regular", "Open Sans"},
        {"MyriadPro Bold Condensed", "Myriad Pro"},
        {"Futura Condensed ExtraBold", "Futura"},
        {"Arial Black", "Arial"},
        {"Black", "Black"},
        {".SFNSText-Regular", "SFNSText"},
        {"Helvetica45Light", "Helvetica 45"},
        {"Garamond3", "Garamond 3"},
        {"Bold Italic", "Bold"},
        {"Times_New_Roman", "Times"},
        {"Gill Sans ", "Gill Sans"},
        {"..Avenir Next", "Avenir Next"},
    };
    for (const auto& [name, term] : examples) {
        EXPECT_EQ(searchTerm(name), term) << name.toStdString();
    }
}

TEST(SearchTerm, FallsBackToTheWholeNameWhenTheFirstPieceHasNoWords) {
    EXPECT_EQ(searchTerm(" -Helvetica"), "Helvetica");
    EXPECT_EQ(searchTerm("  _Open Sans-Bold"), "Open Sans Bold");
    EXPECT_EQ(searchTerm(""), "");
    EXPECT_EQ(searchTerm("..."), "");
    EXPECT_EQ(searchTerm("-_-"), "");
}

TEST(SearchUrl, AddressesEachServiceWithAnEncodedQuery) {
    const std::optional<QUrl> myFonts = url("OpenSans-Regular", Source::myFonts);
    ASSERT_TRUE(myFonts);
    EXPECT_EQ(myFonts->toString(QUrl::FullyEncoded),
              "https://www.myfonts.com/search?query=Open%20Sans");

    const std::optional<QUrl> google = url("OpenSans-Regular", Source::googleFonts);
    ASSERT_TRUE(google);
    EXPECT_EQ(google->toString(QUrl::FullyEncoded), "https://fonts.google.com/?query=Open%20Sans");

    const std::optional<QUrl> adobe = url("OpenSans-Regular", Source::adobeFonts);
    ASSERT_TRUE(adobe);
    EXPECT_EQ(adobe->toString(QUrl::FullyEncoded),
              "https://fonts.adobe.com/search?query=Open%20Sans");
}

TEST(SearchUrl, EncodesEveryCharacterThatWouldChangeTheQuery) {
    const std::vector<std::pair<QString, QString>> examples{
        {"A&B=C", "query=A%26B%3DC"},
        {"Plus+Sans", "query=Plus%2BSans"},  // "+" would read as a space
        {"No#1", "query=No%231"},
        {"50%Grey", "query=50%25Grey"},
        {"X%20", "query=X%2520"},  // a literal "%20", not a space
        {QString::fromUtf8("Zürich"), "query=Z%C3%BCrich"},
        {QString::fromUtf8("明朝"), "query=%E6%98%8E%E6%9C%9D"},
        {QString::fromUtf8("\U0001F600Face"), "query=%F0%9F%98%80Face"},
        {"a/b?c", "query=a%2Fb%3Fc"},
    };
    for (const auto& [name, query] : examples) {
        const std::optional<QUrl> address = url(name, Source::adobeFonts);
        ASSERT_TRUE(address) << name.toStdString();
        EXPECT_TRUE(address->isValid());
        EXPECT_EQ(address->query(QUrl::FullyEncoded), query) << name.toStdString();
        // The service reads back exactly the search term.
        EXPECT_EQ(QUrlQuery(*address).queryItemValue("query", QUrl::FullyDecoded), searchTerm(name))
            << name.toStdString();
    }

    const std::optional<QUrl> empty = url("", Source::googleFonts);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->toString(QUrl::FullyEncoded), "https://fonts.google.com/?query=");
}

}  // namespace
}  // namespace keelwick::FontLookup
