// The remaining-time texts of the analysis and of runs, with a controlled clock.

#include "workflow/TimeEstimate.h"

#include "support/QtPrinting.h"

#include <gtest/gtest.h>

namespace keelwick {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::optional<QString> afterSeconds(double seconds, qint64 completed, qint64 total) {
    const Clock::time_point start{};
    const auto elapsed =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    return estimatedTimeRemaining(start, completed, total, start + elapsed);
}

TEST(EstimatedTimeRemaining, GivesTheTextForTheRemainingTime) {
    EXPECT_EQ(afterSeconds(3, 3, 10), "a few seconds left");       // 7 s remain
    EXPECT_EQ(afterSeconds(5, 1, 10), "about 45 seconds left");    // 45 s
    EXPECT_EQ(afterSeconds(30, 1, 4), "about 2 minutes left");     // 90 s: 1.5 rounds up
    EXPECT_EQ(afterSeconds(40, 1, 3), "about a minute left");      // 80 s
    EXPECT_EQ(afterSeconds(12.4, 1, 2), "about 10 seconds left");  // multiples of five
    EXPECT_EQ(afterSeconds(12.5, 1, 2), "about 15 seconds left");  // halves away from zero
    EXPECT_EQ(afterSeconds(10, 1, 2), "about 10 seconds left");
    EXPECT_EQ(afterSeconds(9.9, 1, 2), "a few seconds left");
    EXPECT_EQ(afterSeconds(59, 1, 2), "about 60 seconds left");
    EXPECT_EQ(afterSeconds(60, 1, 2), "about a minute left");
    EXPECT_EQ(afterSeconds(600, 1, 11), "about 100 minutes left");
}

TEST(EstimatedTimeRemaining, IsAbsentWhenThePaceSaysNothing) {
    EXPECT_EQ(afterSeconds(0.3, 1, 10), std::nullopt);
    EXPECT_EQ(afterSeconds(0.4, 1, 10), std::nullopt);
    EXPECT_EQ(afterSeconds(5, 10, 10), std::nullopt);  // the last drawing
    EXPECT_EQ(afterSeconds(5, 11, 10), std::nullopt);
    EXPECT_EQ(afterSeconds(5, 0, 10), std::nullopt);
    EXPECT_EQ(afterSeconds(-5, 1, 10), std::nullopt);  // a clock that went back
    EXPECT_TRUE(afterSeconds(0.41, 1, 10).has_value());
}

}  // namespace
}  // namespace keelwick
