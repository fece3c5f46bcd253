#include "convert/internal/PathGeometry.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace keelwick;

namespace {

std::vector<double> numbers(const char* text) {
    return parseNumbers(QString::fromUtf8(text));
}

std::optional<Bounds> bounds(const char* path, double x = 0, double y = 0) {
    return pathBounds(QString::fromUtf8(path), x, y);
}

}  // namespace

TEST(PathGeometry, NumbersAmongPunctuation) {
    EXPECT_EQ(numbers("{12, 30}"), (std::vector<double>{12, 30}));
    EXPECT_EQ(numbers("-.5e2,7"), (std::vector<double>{-50, 7}));
    EXPECT_EQ(numbers("1.2.3"), (std::vector<double>{1.2, 0.3}));
    EXPECT_EQ(numbers("12,5"), (std::vector<double>{12, 5}));
    EXPECT_EQ(numbers("1e"), (std::vector<double>{1}));
    EXPECT_EQ(numbers("+4 -.e5 5. e3 2E+2"), (std::vector<double>{4, 5, 5, 3, 200}));
    EXPECT_EQ(numbers("rgba(1, 0, 0, 0.5)"), (std::vector<double>{1, 0, 0, 0.5}));
    EXPECT_TRUE(parseNumbers(static_cast<const QString*>(nullptr)).empty());
    EXPECT_TRUE(numbers("nan inf black").empty());
    // Overflow reads as infinity, which the output later writes as 0.
    EXPECT_TRUE(std::isinf(numbers("1e999")[0]));
    // A run of non-ASCII decimal digits is one match that does not convert: dropped whole.
    EXPECT_EQ(parseNumbers(QString::fromUtf16(u"7 \u0661\u0662 8")), (std::vector<double>{7, 8}));
    EXPECT_EQ(parseNumbers(QString::fromUtf16(u"1\u0662")), (std::vector<double>{}));
}

TEST(PathGeometry, RegexMatches) {
    EXPECT_EQ(regexMatches("[a-c]+", "xxabyycz"), (QStringList{"ab", "c"}));
    EXPECT_TRUE(regexMatches("(unclosed", "(unclosed").isEmpty());
}

TEST(PathGeometry, BoundsOfListedCoordinates) {
    EXPECT_EQ(bounds("M 0 0 L 100 50", 10, 20), (Bounds{10, 20, 110, 70}));
    EXPECT_EQ(bounds("M 0 0 C 0 100 100 100 100 0"), (Bounds{0, 0, 100, 100}));
    EXPECT_EQ(bounds("M 0 0 L 10 10 20 20"), (Bounds{0, 0, 20, 20}));
    EXPECT_EQ(bounds("m 5 5 l 10 0"), (Bounds{5, 0, 10, 5}));
    EXPECT_EQ(bounds("M 0 0 L 10"), (Bounds{0, 0, 0, 0}));
    EXPECT_EQ(bounds("5 5 M 1 1"), (Bounds{1, 1, 1, 1}));
    EXPECT_EQ(bounds("Z 3 3"), std::nullopt);
    EXPECT_EQ(bounds("M 0 0 H 50"), (Bounds{0, 0, 0, 0}));
    EXPECT_EQ(bounds("M0,0Q-5,8,10,2z"), (Bounds{-5, 0, 10, 8}));
    EXPECT_EQ(bounds(""), std::nullopt);
    // A command letter cuts an incomplete segment short; its numbers stay consumed.
    EXPECT_EQ(bounds("M 1 L 7 7"), (Bounds{7, 7, 7, 7}));
}
