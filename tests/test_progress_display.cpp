// The progress line of keelwick-cli: what fits on a terminal, and the plain lines of logs.

#include "cli/ProgressDisplay.h"

#include <QTextBoundaryFinder>

#include <gtest/gtest.h>

using keelwick::cli::ProgressDisplay;

namespace {

qsizetype userPerceivedLength(const QString& text) {
    QTextBoundaryFinder boundaries(QTextBoundaryFinder::Grapheme, text);
    qsizetype length = 0;
    while (boundaries.toNextBoundary() != -1) {
        ++length;
    }
    return length;
}

}  // namespace

TEST(ProgressDisplay, BarShowsTheFractionThePercentageTheStepAndTheTimeLeft) {
    EXPECT_EQ(ProgressDisplay::barLine(0.5, "Checking poster.idraw…", "about 45 seconds left", 100),
              QStringLiteral("[############............]  50% Checking poster.idraw…  about 45 "
                             "seconds left"));
    EXPECT_EQ(ProgressDisplay::barLine(0, "Checking save permissions…", {}, 80),
              "[........................]   0% Checking save permissions…");
    // Out-of-range fractions are held to the bar.
    EXPECT_EQ(ProgressDisplay::barLine(1.5, "done", {}, 80),
              "[########################] 100% done");
    // 2 of 3 is 66%, not 67%: the percentage never claims work that is not finished.
    EXPECT_TRUE(ProgressDisplay::barLine(2.0 / 3.0, "x", {}, 80).contains(u" 66% "));
}

TEST(ProgressDisplay, ANarrowTerminalShortensTheStepFirst) {
    const QString step = "Checking a drawing with a very long name indeed.idraw…";
    const QString line = ProgressDisplay::barLine(0.25, step, "a few seconds left", 70);
    EXPECT_EQ(userPerceivedLength(line), 69);  // one column stays free for the cursor
    EXPECT_TRUE(line.endsWith("…  a few seconds left")) << line.toStdString();
    EXPECT_TRUE(line.startsWith("[######..................]  25% Checking a "));

    // Names are cut between user-perceived characters, never inside one.
    const QString accented = "Checking " + QString(40, u'e') + QChar(0x0301) + "x.idraw…";
    for (int width = 40; width <= 90; ++width) {
        const QString fitted = ProgressDisplay::barLine(0.1, accented, {}, width);
        EXPECT_LE(userPerceivedLength(fitted), width - 1);
        EXPECT_FALSE(fitted.contains(QString("…") + QChar(0x0301)));
    }
    // Too narrow for anything but the bar: the line is still cut to the width.
    EXPECT_EQ(userPerceivedLength(ProgressDisplay::barLine(0.1, step, {}, 20)), 19);
}

TEST(ProgressDisplay, PlainLinesNameTheStepAndTheTimeLeft) {
    EXPECT_EQ(ProgressDisplay::plainLine(0.75, "Checking b.idraw…", "a few seconds left"),
              "[ 75%] Checking b.idraw… (a few seconds left)");
    EXPECT_EQ(ProgressDisplay::plainLine(0, "Checking the drawings…", {}),
              "[  0%] Checking the drawings…");
}

TEST(ProgressDisplay, ControlCharactersInNamesAreShownEscaped) {
    // A file name that would clear the line, retitle the terminal or break the log's lines.
    const QString step = "Checking a\x1b[2K\rb\x1b]0;x\x07\nc.idraw…";
    const QString shown = "Checking a\\e[2K\\rb\\e]0;x\\x07\\nc.idraw…";
    EXPECT_EQ(ProgressDisplay::plainLine(0.5, step, {}), "[ 50%] " + shown);
    EXPECT_EQ(ProgressDisplay::barLine(0.5, step, {}, 120),
              "[############............]  50% " + shown);
}
