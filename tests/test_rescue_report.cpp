#include "pipeline/ControlCharacters.h"
#include "pipeline/RescueReportFormatter.h"

#include <gtest/gtest.h>

using namespace keelwick;

namespace {

RescueResult checked(const QString& source, std::optional<QString> output) {
    RescueResult result;
    result.sourceURL = source;
    result.outputURL = std::move(output);
    result.isDryRun = true;
    return result;
}

RescueResult failed(const QString& source, const QString& message, QStringList diagnostics) {
    RescueResult result;
    result.sourceURL = source;
    result.errorMessage = message;
    result.diagnostics = std::move(diagnostics);
    return result;
}

/// The report's lines after the heading and the four environment lines, which carry the
/// clock and the machine.
QStringList linesAfterEnvironment(const QString& text) {
    QStringList lines = text.split(QLatin1Char('\n'));
    EXPECT_EQ(lines.value(0), "Rescue report");
    EXPECT_TRUE(lines.value(1).startsWith("Generated: "));
    EXPECT_TRUE(lines.value(2).startsWith("App: Keelwick "));
    EXPECT_TRUE(lines.value(3).startsWith("System: "));
    EXPECT_TRUE(lines.value(4).startsWith("Machine: "));
    return lines.mid(5);
}

}  // namespace

TEST(RescueReport, EntriesSayWhatHappened) {
    RescueResult saved;
    saved.sourceURL = "/in/a.idraw";
    saved.outputURL = "/out/a.svg";
    RescueResult savedNowhere;
    savedNowhere.sourceURL = "/in/b.idraw";
    const QList<RescueReportEntry> entries = RescueReportFormatter::entries(
        {saved, savedNowhere, checked("/in/c.idraw", "/out/x/c.final.svg"),
         checked("/in/d.idraw", std::nullopt), failed("/in/e.idraw", "Broken.", {"a: 1"})});
    ASSERT_EQ(entries.size(), 5);
    EXPECT_EQ(entries[0].detail, "Saved to: /out/a.svg");
    EXPECT_EQ(entries[1].detail, "Saved as SVG");
    EXPECT_EQ(entries[2].title, "c.idraw");
    EXPECT_EQ(entries[2].detail,
              "PNG preview image saved to: /out/x/c.final.png. SVG checked in memory only.");
    EXPECT_EQ(entries[3].detail, "PNG preview image saved. SVG checked in memory only.");
    EXPECT_EQ(entries[4].status, RescueReportEntry::Status::failed);
    EXPECT_EQ(entries[4].detail, "Could not rescue: Broken.");
    EXPECT_EQ(entries[4].diagnostics, QStringList{"a: 1"});
    EXPECT_TRUE(entries[2].diagnostics.isEmpty());
}

TEST(RescueReport, NoResults) {
    const QString text = RescueReportFormatter::plainText({}, std::nullopt);
    EXPECT_EQ(linesAfterEnvironment(text),
              (QStringList{"Result: 0 rescued, 0 failed", "", "No drawings were rescued.", ""}));
    EXPECT_FALSE(text.contains("Destination"));
}

TEST(RescueReport, BlocksSeparatedByOneEmptyLine) {
    const QString text = RescueReportFormatter::plainText(
        {checked("/in/a.idraw", "/out/a.svg"), checked("/in/b.idraw", "/out/b.svg")},
        QStringLiteral("/out"));
    EXPECT_EQ(
        linesAfterEnvironment(text),
        (QStringList{"Destination: /out", "Result: 2 rescued, 0 failed", "", "✓ a.idraw",
                     "  PNG preview image saved to: /out/a.png. SVG checked in memory only.", "",
                     "✓ b.idraw",
                     "  PNG preview image saved to: /out/b.png. SVG checked in memory only.", ""}));
}

TEST(RescueReport, FailuresCarryTheirDiagnostics) {
    const QString text = RescueReportFormatter::plainText(
        {failed("/in/one.idraw", "First line", {"failed stage: x", "  more"}),
         failed("/in/two.idraw", "Nothing logged.", {})},
        QStringLiteral("/out"));
    EXPECT_EQ(
        linesAfterEnvironment(text),
        (QStringList{"Destination: /out", "Result: 0 rescued, 2 failed", "", "✕ one.idraw",
                     "  Could not rescue: First line", "  --- diagnostics ---", "  failed stage: x",
                     "    more", "", "✕ two.idraw", "  Could not rescue: Nothing logged.", ""}));
}

TEST(RescueReport, NamesAndMessagesCannotStartLinesOfTheirOwn) {
    const QString text = RescueReportFormatter::plainText(
        {failed("/in/a\n✓ fake.idraw", "Broken\rsecond\u202e", {"source: /in/a\n✓ fake.idraw"}),
         checked("/in/b\x1b[2K.idraw", "/out\t/b\x1b[2K.svg")},
        QStringLiteral("/out\t"));
    EXPECT_EQ(linesAfterEnvironment(text),
              (QStringList{"Destination: /out\\t", "Result: 1 rescued, 1 failed", "",
                           "✕ a\\n✓ fake.idraw", "  Could not rescue: Broken\\rsecond\\u202e",
                           "  --- diagnostics ---", "  source: /in/a\\n✓ fake.idraw", "",
                           "✓ b\\e[2K.idraw",
                           "  PNG preview image saved to: /out\\t/b\\e[2K.png. SVG checked in "
                           "memory only.",
                           ""}));
    // The report dialog lists the entries as they are; only the text file escapes them.
    EXPECT_EQ(RescueReportFormatter::entries({checked("/in/b\x1b.idraw", std::nullopt)})[0].title,
              "b\x1b.idraw");
}

TEST(ControlCharacters, AreShownEscapedAndEverythingElseIsKept) {
    const struct {
        QString text;
        QString shown;
    } cases[] = {
        {"plain name – “quoted” ✓ café.idraw", "plain name – “quoted” ✓ café.idraw"},
        {"back\\slash", "back\\slash"},
        {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
        {"\x1b]0;title\x07\x1b[2K", "\\e]0;title\\x07\\e[2K"},
        {QString(QChar(0)) + "\x01\x1f\x7f", "\\x00\\x01\\x1f\\x7f"},
        {"\u0080\u0085\u009f\u00a0", "\\u0080\\u0085\\u009f\u00a0"},
        {"\u202a\u202e\u2066\u2069\u200f", "\\u202a\\u202e\\u2066\\u2069\u200f"},
        {"one\u2028two\u2029three", "one\\u2028two\\u2029three"},
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(escapeControlCharacters(text), shown) << shown.toStdString();
    }
}
