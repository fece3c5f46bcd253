// The destination folder of a run: the write check before the first drawing (folders made,
// the probe file written and removed again), report.txt after the last, and the rule that
// tells whether a destination lies inside the drawings' own folders.

#include "workflow/DestinationFolder.h"

#include "pipeline/AtomicWrite.h"
#include "pipeline/RescueReportFormatter.h"
#include "support/Files.h"
#include "support/QtPrinting.h"
#include "support/WriteFailures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace keelwick {
namespace {

using testing::contents;
using testing::readFile;

RescueResult checked(const QString& source, const QString& output) {
    RescueResult result;
    result.sourceURL = source;
    result.outputURL = output;
    result.isDryRun = true;
    return result;
}

RescueResult failed(const QString& source, const QString& message) {
    RescueResult result;
    result.sourceURL = source;
    result.errorMessage = message;
    result.diagnostics = {"step: unpack"};
    return result;
}

TEST(PermissionProbeName, IsTheHiddenPrefixAndANewUuidEachTime) {
    const QRegularExpression form(
        QStringLiteral("^\\.vellix-permission-check-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}"
                       "-[0-9A-F]{12}$"));
    const QString first = permissionProbeName();
    const QString second = permissionProbeName();
    EXPECT_TRUE(form.match(first).hasMatch()) << first.toStdString();
    EXPECT_TRUE(form.match(second).hasMatch()) << second.toStdString();
    EXPECT_NE(first, second);
}

TEST(PreflightWriteAccess, CreatesMissingParentsAndLeavesNothingBehind) {
    testing::FileTree place;
    const QString destination = place.path("a/b c/Keelwick");
    EXPECT_EQ(preflightWriteAccess(destination), std::nullopt);
    EXPECT_TRUE(QFileInfo(destination).isDir());
    EXPECT_EQ(contents(destination), QStringList());

    // An existing folder is fine, and what it holds stays as it was.
    place.file("a/b c/Keelwick/report.txt", "earlier");
    EXPECT_EQ(preflightWriteAccess(destination), std::nullopt);
    EXPECT_EQ(contents(destination), QStringList{"report.txt"});
    EXPECT_EQ(readFile(destination + "/report.txt"), "earlier");
}

TEST(PreflightWriteAccess, NamesAnExistingFolderThatCannotBeWritten) {
    // The tests run as root, which may write almost anywhere; not into /proc.
    ASSERT_TRUE(QFileInfo("/proc").isDir());
    EXPECT_EQ(preflightWriteAccess("/proc"), "Could not create the output folder: /proc");
}

TEST(PreflightWriteAccess, GivesTheSystemsReasonWhenTheFolderCannotBeMade) {
    testing::FileTree place;
    place.file("plain", "not a folder");

    // Below a regular file no folder can be made.
    const QString below = place.path("plain/Keelwick");
    EXPECT_EQ(preflightWriteAccess(below),
              QString("Could not create the folder “%1”: Not a directory").arg(below));

    // A regular file where the destination should be is no folder either.
    const std::optional<QString> onFile = preflightWriteAccess(place.path("plain"));
    ASSERT_TRUE(onFile.has_value());
    EXPECT_TRUE(
        onFile->startsWith(QString("Could not create the folder “%1”: ").arg(place.path("plain"))))
        << onFile->toStdString();

    EXPECT_EQ(contents(place.path()), QStringList{"plain"});
    EXPECT_EQ(readFile(place.path("plain")), "not a folder");
}

TEST(WriteRescueReport, WritesTheFormattedReportReplacingAnEarlierOne) {
    testing::FileTree place;
    const QString destination = place.folder("Keelwick");
    place.file("Keelwick/report.txt", "an earlier run\n");
    const QList<RescueResult> results{checked("/art/Å one.idraw", destination + "/Å one.svg"),
                                      failed("/art/two.idraw", "Broken archive")};

    EXPECT_EQ(writeRescueReport(results, destination), std::nullopt);

    const QByteArray written = readFile(destination + "/report.txt");
    EXPECT_EQ(written, RescueReportFormatter::plainText(results, destination).toUtf8());
    EXPECT_TRUE(written.contains("Destination: " + destination.toUtf8() + '\n'));
    EXPECT_TRUE(written.contains("Result: 1 rescued, 1 failed\n"));
    EXPECT_TRUE(written.contains("\u2713 \u00C5 one.idraw\n"));
    EXPECT_TRUE(written.contains("\u2715 two.idraw\n  Could not rescue: Broken archive\n"));
    // The atomic write leaves no temporary file beside the report.
    EXPECT_EQ(contents(destination), QStringList{"report.txt"});
}

TEST(WriteRescueReport, SaysWhyItCouldNotWrite) {
    testing::FileTree place;
    const QList<RescueResult> results{failed("/art/a.idraw", "Broken")};

    // A folder in the way of the report stays, and nothing else is left.
    const QString destination = place.folder("Keelwick");
    place.folder("Keelwick/report.txt");
    EXPECT_EQ(writeRescueReport(results, destination),
              QStringLiteral("Could not write the file “%1/report.txt”: a folder of that name is "
                             "in the way; move or rename it")
                  .arg(destination));
    EXPECT_TRUE(QFileInfo(destination + "/report.txt").isDir());
    EXPECT_EQ(contents(destination), QStringList{"report.txt"});

    // A destination that does not exist is not made by the report.
    const QString missing = place.path("missing");
    const std::optional<QString> failure = writeRescueReport(results, missing);
    ASSERT_TRUE(failure.has_value());
    EXPECT_TRUE(
        failure->startsWith(QString("Could not write the file “%1/report.txt”: ").arg(missing)))
        << failure->toStdString();
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST(WriteFileAtomically, ReplacesOnlyWithEveryByteAndKeepsPermissions) {
    testing::FileTree place;
    const QString path = place.file("out/image.png", "earlier");
    ASSERT_TRUE(
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    // Small enough to be buffered: the write fails only when the file is completed.
    const QByteArray larger(2000, 'n');
    const auto reason = [&](const QString& target) -> std::optional<QString> {
        const std::optional<WriteFailure> failure = writeFileAtomically(target, larger);
        return failure ? std::optional(failure->reason) : std::nullopt;
    };
    {
        const testing::FileSizeLimit limit(1000);
        EXPECT_EQ(reason(path), "File too large");
        EXPECT_EQ(readFile(path), "earlier");
        EXPECT_EQ(contents(QFileInfo(path).path()), QStringList{"image.png"});
    }
    testing::SmallFileSystem full(256 * 1024);
    if (full.isMounted()) {
        const QString onFull = full.path("image.png");
        ASSERT_FALSE(writeFileAtomically(onFull, "earlier"));
        full.fillLeaving(0);
        EXPECT_EQ(reason(onFull), "No space left on device");
        EXPECT_EQ(readFile(onFull), "earlier");
        EXPECT_EQ(contents(full.path()), (QStringList{".filler", "image.png"}));
    }

    EXPECT_EQ(reason(path), std::nullopt);
    EXPECT_EQ(readFile(path), larger);
    EXPECT_EQ(QFileInfo(path).permissions() & 0x0777, 0x0640);
}

TEST(DestinationFolder, AFullDiskFailsTheCheckAndTheReport) {
    testing::SmallFileSystem full(256 * 1024);
    if (!full.isMounted()) {
        GTEST_SKIP() << "mounting a small file system needs the administrator";
    }
    const QString destination = full.path();
    full.fillLeaving(0);
    EXPECT_EQ(preflightWriteAccess(destination),
              "Could not create the output folder: " + destination);
    EXPECT_EQ(writeRescueReport({failed("/art/a.idraw", "Broken")}, destination),
              QString("Could not write the file “%1/report.txt”: No space left on device")
                  .arg(destination));
    EXPECT_EQ(contents(destination), QStringList{".filler"});
}

TEST(SourceHoldingDestination, FindsTheSourceThatIsOrHoldsTheDestination) {
    testing::FileTree place;
    const QString source = place.folder("a/b");
    const QString other = place.folder("other");

    EXPECT_EQ(sourceHoldingDestination(source, {source}), source);
    EXPECT_EQ(sourceHoldingDestination(place.folder("a/b/Old/Keelwick"), {source}), source);
    // A source named with a trailing "/" or with "." and ".." is the same folder.
    EXPECT_EQ(sourceHoldingDestination(source + "/Keelwick", {source + u'/'}), source + u'/');
    EXPECT_EQ(sourceHoldingDestination(source + "/Keelwick", {place.path("a/./x/../b")}),
              place.path("a/./x/../b"));
    // The first source that holds it is named.
    EXPECT_EQ(sourceHoldingDestination(source + "/Keelwick", {other, place.path("a"), source}),
              place.path("a"));
}

TEST(SourceHoldingDestination, ComparesWholeFolderNames) {
    testing::FileTree place;
    const QString source = place.folder("a/b");
    const QString sibling = place.folder("a/bc");

    EXPECT_EQ(sourceHoldingDestination(sibling, {source}), std::nullopt);
    EXPECT_EQ(sourceHoldingDestination(sibling + "/Keelwick", {source}), std::nullopt);
    EXPECT_EQ(sourceHoldingDestination(place.path("a"), {source}), std::nullopt);  // the parent
    // ".." that climbs out of the source leads outside it.
    EXPECT_EQ(sourceHoldingDestination(source + "/../Keelwick", {source}), std::nullopt);
    EXPECT_EQ(sourceHoldingDestination(place.path("x/Keelwick"), {}), std::nullopt);
}

TEST(SourceHoldingDestination, AnEmptySourceNamesNoFolder) {
    testing::FileTree place;
    // An empty path names no folder, so it holds nothing; it is not the root of every path.
    EXPECT_EQ(sourceHoldingDestination(place.path("Keelwick"), {QString()}), std::nullopt);
    EXPECT_EQ(sourceHoldingDestination("/", {QString()}), std::nullopt);
    // A relative source is taken from the working folder.
    const QString working = QDir::currentPath();
    EXPECT_EQ(sourceHoldingDestination(working + "/Keelwick", {"."}), ".");
}

TEST(SourceHoldingDestination, FollowsLinksAndPathsThatDoNotExistYet) {
    testing::FileTree place;
    const QString source = place.folder("drawings");
    const QString outside = place.folder("outside");

    // Not made yet, several levels below the source.
    EXPECT_EQ(sourceHoldingDestination(source + "/new/deeper/Keelwick", {source}), source);

    // A link elsewhere that leads into the source counts as inside, also for folders below
    // it that do not exist yet.
    const QString intoSource = place.link("outside/shortcut", source);
    EXPECT_EQ(sourceHoldingDestination(intoSource, {source}), source);
    EXPECT_EQ(sourceHoldingDestination(intoSource + "/Keelwick", {source}), source);

    // A source named through a link holds what lies in the folder it leads to.
    const QString linkedSource = place.link("alias", source);
    EXPECT_EQ(sourceHoldingDestination(source + "/Keelwick", {linkedSource}), linkedSource);

    // A link inside the source that leads out of it does not.
    const QString outwards = place.link("drawings/away", outside);
    EXPECT_EQ(sourceHoldingDestination(outwards + "/Keelwick", {source}), std::nullopt);
}

}  // namespace
}  // namespace keelwick
