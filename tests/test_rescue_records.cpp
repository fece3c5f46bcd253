#include "pipeline/PipelineError.h"
#include "pipeline/RescueError.h"
#include "pipeline/RescueRecords.h"
#include "support/QtPrinting.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace keelwick {
namespace {

// ---------------------------------------------------------------------------------------
// summarize

TEST(RescueErrorSummarize, countsUserPerceivedCharactersNotCodeUnits) {
    // "é" written as e + combining acute, and a family emoji of five code points: one
    // character each.
    const QString accent = QStringLiteral("e\u0301");
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    const QString fits = QString(139, u'a') + family;
    EXPECT_EQ(RescueError::summarize(fits), fits);
    EXPECT_EQ(RescueError::summarize(QString(138, u'a') + accent + accent),
              QString(138, u'a') + accent + accent);

    // The 140th character is kept whole, never split inside.
    EXPECT_EQ(RescueError::summarize(QString(139, u'a') + family + u'b'),
              QString(139, u'a') + family + QChar(0x2026));
}

TEST(RescueErrorSummarize, keepsOnlyTheWordsOfAToolMessageOutsideItsBracketedLines) {
    const std::pair<const char*, const char*> cases[] = {
        {"[drawing.idraw]\n \t some words here\t \n\n", "some words here"},
        {"first\n\n  second  \n[x] not bracketed", "first second [x] not bracketed"},
        {"", ""},
        {"[a]\n \t\n[b]\n", ""},
    };
    for (const auto& [message, summary] : cases) {
        EXPECT_EQ(RescueError::summarize(QString::fromUtf8(message)), summary) << message;
    }
}

// ---------------------------------------------------------------------------------------
// Descriptions, domain and codes

TEST(RescueError, describesEveryCaseWithItsExactTextAndCode) {
    struct Case {
        RescueError error;
        int code;
        QString text;
    };
    const Case cases[] = {
        {RescueError::archiveUnreadable(QStringLiteral("[a.idraw]\n  End-of-central-directory "
                                                       "signature not found.  \n")),
         0,
         QStringLiteral("This Graphic/iDraw file could not be unpacked: End-of-central-directory "
                        "signature not found. Full details are in report.txt.")},
        {RescueError::archiveTimedOut(60), 1,
         QStringLiteral("This Graphic/iDraw file did not unpack within 60 seconds and was "
                        "skipped. It is most likely damaged or password protected.")},
        {RescueError::cannotCreateOutputFolder(QStringLiteral("/out/x")), 2,
         QStringLiteral("Could not create the output folder: /out/x")},
        {RescueError::destinationAlreadyExists(QStringLiteral("/out/a.png")), 3,
         QStringLiteral("Destination file already exists: /out/a.png. Turn on \u201COverwrite "
                        "destination files\u201D to replace it.")},
        {RescueError::invalidArchive(), 4,
         QStringLiteral("This Graphic/iDraw file could not be opened as an archive.")},
        {RescueError::missingDataPlist(), 5,
         QStringLiteral("This Graphic/iDraw file does not contain data.xml.")},
        {RescueError::unsupportedPropertyList(), 6,
         QStringLiteral("This Graphic/iDraw file contains an unsupported property list.")},
        {RescueError::previewImageRenderingFailed(), 7,
         QStringLiteral("The SVG was created in memory, but its PNG preview image could not be "
                        "rendered.")},
    };
    for (const Case& expected : cases) {
        EXPECT_EQ(expected.error.code(), expected.code);
        EXPECT_EQ(expected.error.errorDescription(), expected.text);
    }
    EXPECT_EQ(RescueError::domain(), "Vellix.RescueError");
}

TEST(RescueError, leavesTwoSpacesWhenTheToolSaidNothingUseful) {
    const QString expected = QStringLiteral(
        "This Graphic/iDraw file could not be unpacked:  Full details are in report.txt.");
    EXPECT_EQ(RescueError::archiveUnreadable(QString()).errorDescription(), expected);
    EXPECT_EQ(RescueError::archiveUnreadable(QStringLiteral("[x]\n[y]")).errorDescription(),
              expected);
}

TEST(RescueError, comparesItsPayload) {
    EXPECT_EQ(RescueError::archiveTimedOut(30), RescueError::archiveTimedOut(30));
    EXPECT_FALSE(RescueError::archiveTimedOut(30) == RescueError::archiveTimedOut(60));
}

TEST(PipelineError, carriesARescueErrorsDomainCodeAndDescriptionOnly) {
    const PipelineError error = PipelineError::from(RescueError::unsupportedPropertyList());
    EXPECT_EQ(error.typeName, "RescueError");
    EXPECT_EQ(error.domainAndCode(), "Vellix.RescueError / 6");
    EXPECT_EQ(error.description, RescueError::unsupportedPropertyList().errorDescription());
    EXPECT_FALSE(error.failureReason || error.recoverySuggestion || error.underlyingError ||
                 error.path);

    const PipelineError read = PipelineError::propertyListRead(QStringLiteral("bad"));
    EXPECT_EQ(read.domainAndCode(), "NSCocoaErrorDomain / 3840");
    EXPECT_EQ(read.description, "bad");
}

// ---------------------------------------------------------------------------------------
// Records

TEST(RescueCandidate, comparesAndHashesAllEightFields) {
    const RescueCandidate first(QStringLiteral("/in/a.idraw"), QStringLiteral("/in"));
    const RescueCandidate second(QStringLiteral("/in/a.idraw"), QStringLiteral("/in"));
    EXPECT_NE(first.id, second.id);
    EXPECT_FALSE(first == second) << "same file, different identity";

    RescueCandidate copy = first;
    EXPECT_EQ(copy, first);
    EXPECT_EQ(qHash(copy), qHash(first));
    EXPECT_EQ(std::hash<RescueCandidate>()(copy), std::hash<RescueCandidate>()(first));

    const std::function<void(RescueCandidate&)> changes[] = {
        [](RescueCandidate& c) { c.baseFolder.reset(); },
        [](RescueCandidate& c) { c.isSelected = false; },
        [](RescueCandidate& c) { c.previewJPEGData = QByteArray(); },  // empty, not absent
        [](RescueCandidate& c) { c.embeddedImageCount = 2; },
        [](RescueCandidate& c) { c.missingFonts << QStringLiteral("Futura"); },
        [](RescueCandidate& c) { c.fontInspectionError = QString(); },
    };
    for (const auto& change : changes) {
        RescueCandidate changed = first;
        change(changed);
        EXPECT_FALSE(changed == first);
        EXPECT_NE(qHash(changed), qHash(first));
    }

    RescueCandidate withPreview = first;
    withPreview.previewJPEGData = QByteArray("\xFF\xD8", 2);
    RescueCandidate samePreview = withPreview;
    samePreview.previewJPEGData = QByteArray("\xFF\xD8", 2);  // another buffer, same bytes
    EXPECT_EQ(samePreview, withPreview);

    const std::unordered_set<RescueCandidate> set{first, second, copy};
    EXPECT_EQ(set.size(), 2u);
}

TEST(RescueOptions, startsWithTheDocumentedChoices) {
    const RescueOptions options;
    EXPECT_TRUE(options.writeMissingFontNotes);
    EXPECT_TRUE(options.storeOriginalImages);
    EXPECT_FALSE(options.overwriteDestinationFiles);
    EXPECT_FALSE(options.generatePNGPreviewImages);
    EXPECT_TRUE(options.outputFolder.endsWith(QStringLiteral("/Keelwick")));
}

TEST(RescueResult, succeedsExactlyWhenThereIsNoErrorMessage) {
    RescueResult result;
    result.diagnostics << QStringLiteral("attempted: now");
    EXPECT_TRUE(result.succeeded());
    result.errorMessage = QString();
    EXPECT_FALSE(result.succeeded());
    EXPECT_NE(RescueResult().id, RescueResult().id);
}

TEST(RescueReportEntry, writesTwoLinesWithoutDiagnosticsAndSixWithThree) {
    RescueReportEntry rescued{RescueReportEntry::Status::rescued,
                              QStringLiteral("a.idraw"),
                              QStringLiteral("Rescued."),
                              {}};
    EXPECT_EQ(rescued.plainTextLines(),
              QStringList({QStringLiteral("\u2713 a.idraw"), QStringLiteral("  Rescued.")}));

    RescueReportEntry failed{RescueReportEntry::Status::failed,
                             QStringLiteral("b.idraw"),
                             QStringLiteral("Broken."),
                             {QStringLiteral("one"), QStringLiteral("two: x"), QString()}};
    EXPECT_EQ(failed.plainTextLines(),
              QStringList({QStringLiteral("\u2715 b.idraw"), QStringLiteral("  Broken."),
                           QStringLiteral("  --- diagnostics ---"), QStringLiteral("  one"),
                           QStringLiteral("  two: x"), QStringLiteral("  ")}));
}

TEST(MissingFontRecords, compareByTheirFields) {
    const MissingFontInspectionIssue issue{QStringLiteral("x.idraw"),
                                           QStringLiteral("No data.xml.")};
    EXPECT_FALSE(issue ==
                 (MissingFontInspectionIssue{QStringLiteral("x.idraw"), QStringLiteral("Other.")}));
    const MissingFontReference reference{QStringLiteral("sub/x.idraw")};
    EXPECT_FALSE(reference == MissingFontReference{QStringLiteral("x.idraw")});
}

}  // namespace
}  // namespace keelwick
