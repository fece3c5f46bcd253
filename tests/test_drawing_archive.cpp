// Unpacking one drawing: the tool run and its log, what was unpacked, and the rules that
// keep an untrusted archive inside its work folder. Archives are written byte by byte
// here, so that names, links and sizes can be anything an attacker could choose.

#include "pipeline/DrawingArchive.h"
#include "support/Files.h"
#include "support/QtPrinting.h"
#include "support/ZipWriter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace keelwick {
namespace {

using namespace keelwick::testing;

const std::vector<ZipEntry> kDrawing = {
    fileEntry("data.xml", "<plist version=\"1.0\"><dict/></plist>"),
    folderEntry("Images/"),
    fileEntry("Images/photo.png", QByteArray(1000, 'p')),
    fileEntry("preview.jpg", "jpeg"),
};

class DrawingArchiveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(base_.isValid());
        ASSERT_TRUE(QDir().mkpath(work_));
    }

    std::optional<RescueError> unpack(const QByteArray& bytes, const UnpackRules& rules = {}) {
        writeFile(archive_, bytes);
        return extractIDraw(archive_, work_, log_, rules);
    }

    // Every item below `root`, sorted, folders ending in "/" and links shown with their
    // target; nothing is followed.
    static QStringList tree(const QString& root) {
        QStringList items;
        QDirIterator iterator(root,
                              QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                              QDirIterator::Subdirectories);
        while (iterator.hasNext()) {
            const QFileInfo item = iterator.nextFileInfo();
            QString name = QDir(root).relativeFilePath(item.absoluteFilePath());
            if (item.isSymLink()) {
                name += QStringLiteral(" -> ") + item.symLinkTarget();
            } else if (item.isDir()) {
                name += u'/';
            }
            items << name;
        }
        items.sort();
        return items;
    }

    // The value of the fact `label`, with its continuation lines; absent when not logged.
    std::optional<QString> fact(const QString& label) const {
        const QString start = label + QStringLiteral(": ");
        for (qsizetype index = 0; index < log_.lines.size(); ++index) {
            if (log_.lines[index].startsWith(start)) {
                QStringList value{log_.lines[index].sliced(start.size())};
                while (++index < log_.lines.size() && log_.lines[index].startsWith(u"  ")) {
                    value << log_.lines[index].sliced(2);
                }
                return value.join(u'\n');
            }
        }
        return std::nullopt;
    }

    QString path(const QString& name) const { return QDir(base_.path()).filePath(name); }

    // Nothing was unpacked, and nothing tried to.
    void expectNothingUnpacked() const {
        EXPECT_TRUE(tree(work_).isEmpty()) << tree(work_).join(u' ').toStdString();
        EXPECT_FALSE(fact(QStringLiteral("unpack command")));
    }

    // A stand-in for unzip: a shell script whose body runs before the real tool's
    // arguments are handled.
    QString fakeTool(const QByteArray& body) {
        const QString tool = path(QStringLiteral("fake-unzip"));
        writeFile(tool, "#!/bin/sh\n" + body + "\n");
        QFile::setPermissions(
            tool, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return tool;
    }

    QTemporaryDir base_;
    QString work_ = path(QStringLiteral("work"));
    QString archive_ = path(QStringLiteral("drawing.idraw"));
    DiagnosticsLog log_;
};

int runZipCommand(const QStringList& arguments, const QString& folder) {
    QProcess zip;
    zip.setWorkingDirectory(folder);
    zip.start(QStringLiteral("/usr/bin/zip"), arguments);
    zip.waitForFinished(30000);
    return zip.exitStatus() == QProcess::NormalExit ? zip.exitCode() : -1;
}

TEST_F(DrawingArchiveTest, UnpacksADrawingAndLogsTheToolRun) {
    const QByteArray bytes = zipBytes(kDrawing);
    EXPECT_EQ(unpack(bytes), std::nullopt);
    EXPECT_EQ(tree(work_), QStringList({"Images/", "Images/photo.png", "data.xml", "preview.jpg"}));
    EXPECT_EQ(readFile(QDir(work_).filePath(QStringLiteral("data.xml"))), kDrawing[0].data);

    EXPECT_EQ(fact(QStringLiteral("unpack command")),
              "/usr/bin/unzip -qq -o -P  " + archive_ + " -d " + work_);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^exit 0, \\d+\\.\\d\\ds$"))
                    .match(fact(QStringLiteral("unpack result")).value_or(QString()))
                    .hasMatch());
    EXPECT_FALSE(fact(QStringLiteral("unpack output")));
    EXPECT_EQ(fact(QStringLiteral("listing command")), "/usr/bin/unzip -Z -l " + archive_);
    EXPECT_EQ(fact(QStringLiteral("listed entries")), "4 entries, 1040 bytes uncompressed");
    // A small archive of stored entries cannot pass the limit: no counting run is needed.
    EXPECT_EQ(fact(QStringLiteral("size check")),
              QStringLiteral("not needed: %1 bytes of stored or deflated entries unpack to at "
                             "most %2 bytes")
                  .arg(bytes.size())
                  .arg(bytes.size() * 1032));
    EXPECT_FALSE(fact(QStringLiteral("symbolic links left out")));
    EXPECT_FALSE(fact(QStringLiteral("links removed after unpacking")));

    QStringList labels;
    for (const QString& line : log_.lines) {
        labels << line.section(QStringLiteral(": "), 0, 0);
    }
    EXPECT_EQ(labels, QStringList({"listing command", "listing result", "listed entries",
                                   "size check", "unpack command", "unpack result"}));

    EXPECT_EQ(readFile(archive_), bytes);

    QStringList lines = unpackedEntryDescription(work_).split(u'\n');
    ASSERT_EQ(lines.takeFirst(), "4 total");
    lines.sort();
    EXPECT_EQ(lines, QStringList({"Images (0 bytes)", "Images/photo.png (1000 bytes)",
                                  "data.xml (36 bytes)", "preview.jpg (4 bytes)"}));
}

TEST_F(DrawingArchiveTest, DescriptionListsTwelveEntriesAndCountsTheRest) {
    for (int index = 0; index < 14; ++index) {
        writeFile(QDir(work_).filePath(QStringLiteral("image-%1.png").arg(index)), "12");
    }
    writeFile(QDir(work_).filePath(QStringLiteral(".hidden")), "1");
    const QStringList lines = unpackedEntryDescription(work_).split(u'\n');
    ASSERT_EQ(lines.size(), 14);
    EXPECT_EQ(lines.first(), "15 total");
    EXPECT_EQ(lines.last(), "\u2026 and 3 more");
    const QRegularExpression entry(
        QStringLiteral(R"(^(image-\d+\.png \(2|\.hidden \(1) bytes\)$)"));
    for (const QString& line : lines.mid(1, 12)) {
        EXPECT_TRUE(entry.match(line).hasMatch()) << line.toStdString();
    }
}

TEST_F(DrawingArchiveTest, DescriptionOfAnEmptyOrUnreadableFolder) {
    EXPECT_EQ(unpackedEntryDescription(work_),
              "none \u2014 the archive unpacked to an empty folder");
    EXPECT_EQ(unpackedEntryDescription(path(QStringLiteral("missing"))), "could not be listed");

    // An archive without entries unpacks to just that.
    EXPECT_EQ(unpack(zipBytes({})), std::nullopt);
    EXPECT_EQ(unpackedEntryDescription(work_),
              "none \u2014 the archive unpacked to an empty folder");
}

TEST_F(DrawingArchiveTest, DescriptionNeverFollowsALink) {
    const QString outside = path(QStringLiteral("outside"));
    ASSERT_TRUE(QDir().mkpath(outside));
    writeFile(QDir(outside).filePath(QStringLiteral("secret.txt")), QByteArray(100, 's'));
    ASSERT_TRUE(QFile::link(outside, QDir(work_).filePath(QStringLiteral("folder-link"))));
    ASSERT_TRUE(QFile::link(QDir(outside).filePath(QStringLiteral("secret.txt")),
                            QDir(work_).filePath(QStringLiteral("file-link"))));
    QStringList lines = unpackedEntryDescription(work_).split(u'\n');
    ASSERT_EQ(lines.takeFirst(), "2 total");
    lines.sort();
    EXPECT_EQ(lines, QStringList({"file-link (0 bytes)", "folder-link (0 bytes)"}));
}

TEST_F(DrawingArchiveTest, LeavesLinkEntriesOutSoNothingOutsideIsRead) {
    const QString secret = path(QStringLiteral("secret.txt"));
    writeFile(secret, "the user's secret");
    const QByteArray bytes = zipBytes({
        linkEntry("data.xml", QFile::encodeName(secret)),
        folderEntry("Images/"),
        linkEntry("Images/logo.png", "../../secret.txt"),
        fileEntry("Images/photo.png", "png"),
    });
    EXPECT_EQ(unpack(bytes), std::nullopt);
    // The linked data.xml counts as missing; the real image stays.
    EXPECT_EQ(tree(work_), QStringList({"Images/", "Images/photo.png"}));
    EXPECT_EQ(fact(QStringLiteral("symbolic links left out")), "data.xml\nImages/logo.png");
    EXPECT_TRUE(fact(QStringLiteral("unpack command"))
                    .value_or(QString())
                    .endsWith(QStringLiteral(" -x data.xml Images/logo.png")));
    EXPECT_FALSE(unpackedEntryDescription(work_).contains(QStringLiteral("logo")));
    EXPECT_EQ(readFile(archive_), bytes);
}

TEST_F(DrawingArchiveTest, LinkNamesCannotPassForOptionsOrPatterns) {
    // Unescaped, "-x -d OUTSIDE" would move the unpacking into OUTSIDE, and the pattern
    // "star*[1]?.png" would also leave out the real "star1x.png".
    const QString outside = path(QStringLiteral("outside"));
    ASSERT_TRUE(QDir().mkpath(outside));
    const QByteArray bytes = zipBytes({
        fileEntry("data.xml", "<plist/>"),
        linkEntry("-d", "/etc"),
        linkEntry(QFile::encodeName(outside), "/etc"),
        linkEntry("star*[1]?.png", "/etc/passwd"),
        linkEntry("back\\slash.png", "/etc/passwd"),
        fileEntry("star1x.png", "png"),
        fileEntry("backslash.png", "png"),
    });
    EXPECT_EQ(unpack(bytes), std::nullopt);
    EXPECT_EQ(tree(work_), QStringList({"backslash.png", "data.xml", "star1x.png"}));
    EXPECT_TRUE(tree(outside).isEmpty());
    EXPECT_FALSE(fact(QStringLiteral("links removed after unpacking")));
}

TEST_F(DrawingArchiveTest, RemovesLinksAndSpecialFilesMadeDuringUnpacking) {
    // A tool that, while unpacking, leaves a link and a named pipe behind.
    UnpackRules rules;
    rules.tool = fakeTool(R"(case "$1" in -Z|-p) exec /usr/bin/unzip "$@";; esac
/usr/bin/unzip "$@"; status=$?
while [ $# -gt 1 ]; do [ "$1" = -d ] && destination="$2"; shift; done
ln -s /etc/passwd "$destination/Images/planted.png"
mkfifo "$destination/pipe"
exit $status)");
    EXPECT_EQ(unpack(zipBytes(kDrawing), rules), std::nullopt);
    EXPECT_EQ(tree(work_), QStringList({"Images/", "Images/photo.png", "data.xml", "preview.jpg"}));
    QStringList removed =
        fact(QStringLiteral("links removed after unpacking")).value_or(QString()).split(u'\n');
    removed.sort();
    EXPECT_EQ(removed, QStringList({"Images/planted.png", "pipe"}));
}

TEST_F(DrawingArchiveTest, NamesWithDotDotOrARootStayInsideTheFolder) {
    const QString rooted = path(QStringLiteral("rooted/escape.txt"));
    const QByteArray bytes = zipBytes({
        fileEntry("data.xml", "<plist/>"),
        fileEntry("../escape.txt", "1"),
        fileEntry("../../escape.txt", "2"),
        fileEntry("Images/../../escape.txt", "3"),
        fileEntry(QFile::encodeName(rooted), "4"),
    });
    EXPECT_EQ(unpack(bytes), std::nullopt);
    EXPECT_FALSE(QFile::exists(rooted));
    EXPECT_EQ(QDir(base_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({"drawing.idraw", "work"}));
    EXPECT_FALSE(QFile::exists(QDir(base_.path()).filePath(QStringLiteral("../escape.txt"))));
    EXPECT_TRUE(tree(work_).contains(QStringLiteral("escape.txt")));
    EXPECT_TRUE(tree(work_).contains(QDir(work_).relativeFilePath(work_ + rooted)));
    // unzip warns about the names it shortened.
    EXPECT_TRUE(fact(QStringLiteral("unpack output")));
    EXPECT_TRUE(fact(QStringLiteral("unpack result")).value_or(QString()).startsWith(u"exit 1, "));
}

TEST_F(DrawingArchiveTest, GivesTheOwnerAccessToLockedFoldersAndFiles) {
    EXPECT_EQ(unpack(zipBytes({folderEntry("locked/", 040000),
                               fileEntry("locked/data.png", "png"),
                               {"sealed.xml", "x", 0100000, std::nullopt}})),
              std::nullopt);
    struct stat status {};
    ASSERT_EQ(::lstat(QFile::encodeName(QDir(work_).filePath(QStringLiteral("locked"))), &status),
              0);
    EXPECT_EQ(status.st_mode & S_IRWXU, static_cast<mode_t>(S_IRWXU));
    ASSERT_EQ(
        ::lstat(QFile::encodeName(QDir(work_).filePath(QStringLiteral("sealed.xml"))), &status), 0);
    EXPECT_EQ(status.st_mode & (S_IRUSR | S_IWUSR), static_cast<mode_t>(S_IRUSR | S_IWUSR));
    EXPECT_TRUE(
        unpackedEntryDescription(work_).contains(QStringLiteral("locked/data.png (3 bytes)")));
    EXPECT_TRUE(QDir(work_).removeRecursively());
}

TEST_F(DrawingArchiveTest, RefusesAPasswordProtectedArchiveAtOnce) {
    const QString content = path(QStringLiteral("content"));
    ASSERT_TRUE(QDir().mkpath(content));
    writeFile(QDir(content).filePath(QStringLiteral("data.xml")), "<plist/>");
    writeFile(QDir(content).filePath(QStringLiteral("photo.png")), "png");
    ASSERT_EQ(runZipCommand({"-q", "-P", "secret", archive_, "data.xml", "photo.png"}, content), 0);

    QElapsedTimer clock;
    clock.start();
    const std::optional<RescueError> error = extractIDraw(archive_, work_, log_);
    EXPECT_LT(clock.elapsed(), 5000);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorDescription(),
              "This Graphic/iDraw file could not be unpacked: The archive is password "
              "protected. Full details are in report.txt.");
    expectNothingUnpacked();

    // One locked image among plain entries is enough.
    const QString mixed = path(QStringLiteral("mixed.idraw"));
    ASSERT_EQ(runZipCommand({"-q", mixed, "data.xml"}, content), 0);
    ASSERT_EQ(runZipCommand({"-q", "-P", "secret", mixed, "photo.png"}, content), 0);
    EXPECT_EQ(extractIDraw(mixed, work_, log_),
              RescueError::archiveUnreadable(QStringLiteral("The archive is password protected.")));
    EXPECT_TRUE(tree(work_).isEmpty());
}

TEST_F(DrawingArchiveTest, RefusesTooManyEntriesBeforeUnpacking) {
    std::vector<ZipEntry> entries;
    for (int index = 0; index < 20001; ++index) {
        entries.push_back(fileEntry(QByteArray::number(index), {}));
    }
    EXPECT_EQ(unpack(zipBytes(entries)),
              RescueError::archiveUnreadable(QStringLiteral(
                  "The archive holds 20001 entries, more than the 20000 a drawing may hold.")));
    expectNothingUnpacked();

    // The limit itself is allowed.
    UnpackRules rules;
    rules.maxEntries = 3;
    const std::vector<ZipEntry> three(kDrawing.begin(), kDrawing.begin() + 3);
    EXPECT_EQ(unpack(zipBytes(three), rules), std::nullopt);
    EXPECT_NE(unpack(zipBytes(kDrawing), rules), std::nullopt);
}

TEST_F(DrawingArchiveTest, RefusesAnArchiveListedAsLargerThanTwoGigabytes) {
    std::vector<ZipEntry> entries(kDrawing);
    entries.push_back({"huge.bin", "small", kFileMode, 0xC0000000});
    EXPECT_EQ(unpack(zipBytes(entries)),
              RescueError::archiveUnreadable(QStringLiteral(
                  "The archive would unpack to 3.1 GB in 5 entries, more than the 2 GB a "
                  "drawing may hold.")));
    expectNothingUnpacked();
}

TEST_F(DrawingArchiveTest, RefusesAnArchiveThatUnpacksToMoreThanItClaims) {
    UnpackRules rules;
    rules.maxUnpackedBytes = 1 << 20;
    const RescueError expected = RescueError::archiveUnreadable(QStringLiteral(
        "The archive would unpack to more than the 1 MB a drawing may hold, though its "
        "listing claims 10 bytes."));

    // Stored data larger than its claimed size.
    EXPECT_EQ(unpack(zipBytes({{"data.bin", QByteArray(3 << 20, 'a'), kFileMode, 10}}), rules),
              expected);
    expectNothingUnpacked();
    EXPECT_TRUE(fact(QStringLiteral("size check"))
                    .value_or(QString())
                    .startsWith(QStringLiteral("more than ")));

    // Deflated data, a few kilobytes that inflate to 3 MB, claiming 10 bytes.
    const QString zeros = path(QStringLiteral("zeros.bin"));
    writeFile(zeros, QByteArray(3 << 20, '\0'));
    const QString bomb = path(QStringLiteral("bomb.zip"));
    ASSERT_EQ(runZipCommand({"-q", "-j", bomb, zeros}, base_.path()), 0);
    QByteArray bytes = readFile(bomb);
    ASSERT_LT(bytes.size(), 100000);
    qToLittleEndian<quint32>(10, bytes.data() + 22);
    const qsizetype central = bytes.indexOf(QByteArray("PK\x01\x02", 4));
    ASSERT_GT(central, 0);
    qToLittleEndian<quint32>(10, bytes.data() + central + 24);
    EXPECT_EQ(unpack(bytes, rules), expected);
    expectNothingUnpacked();
}

TEST_F(DrawingArchiveTest, EmptyForeignAndCutOffFilesAreNoArchives) {
    const QByteArray whole = zipBytes(kDrawing);
    for (const QByteArray& bytes :
         {QByteArray(), QByteArray("just some text\n"), whole.left(whole.size() / 2)}) {
        log_ = {};
        EXPECT_EQ(unpack(bytes), RescueError::invalidArchive());
        expectNothingUnpacked();
        EXPECT_TRUE(
            fact(QStringLiteral("listing result")).value_or(QString()).startsWith(u"exit 9, "));
    }
    EXPECT_EQ(extractIDraw(path(QStringLiteral("missing.idraw")), work_, log_),
              RescueError::invalidArchive());
}

TEST_F(DrawingArchiveTest, DamagedArchivesFailWithUnzipsOwnWords) {
    // Bytes missing in the middle: the directory is no longer where the archive says.
    const QByteArray whole = zipBytes(kDrawing);
    const std::optional<RescueError> gap = unpack(whole.left(100) + whole.mid(400));
    ASSERT_TRUE(gap);
    EXPECT_EQ(gap->kind(), RescueError::Kind::archiveUnreadable);
    EXPECT_TRUE(gap->text().contains(QStringLiteral("missing 300 bytes")))
        << gap->text().toStdString();
    expectNothingUnpacked();

    // A damaged entry: listed fine, but its check sum fails while unpacking.
    log_ = {};
    QByteArray damaged = whole;
    damaged[30 + 8 + 5] = '!';  // inside data.xml's data
    const std::optional<RescueError> checksum = unpack(damaged);
    ASSERT_TRUE(checksum);
    EXPECT_EQ(checksum->kind(), RescueError::Kind::archiveUnreadable);
    EXPECT_TRUE(checksum->text().contains(QStringLiteral("bad CRC")))
        << checksum->text().toStdString();
    EXPECT_EQ(fact(QStringLiteral("unpack output")), checksum->text());
}

TEST_F(DrawingArchiveTest, NeverUnpacksANeighbourInPlaceOfTheDrawing) {
    // unzip tries "drawing.idraw.zip" when "drawing.idraw" is no archive.
    writeFile(archive_ + QStringLiteral(".zip"), zipBytes(kDrawing));
    EXPECT_EQ(unpack("not a zip archive"), RescueError::invalidArchive());
    expectNothingUnpacked();
}

TEST_F(DrawingArchiveTest, OpensTheDrawingWhoseNameLooksLikeAPattern) {
    writeFile(path(QStringLiteral("drawing1.idraw")), zipBytes({fileEntry("decoy.xml", "1")}));
    writeFile(path(QStringLiteral("drawing1x.idraw")), zipBytes({fileEntry("decoy.xml", "2")}));
    const QString named = path(QStringLiteral("drawing[1]*?.idraw"));
    writeFile(named, zipBytes(kDrawing));
    EXPECT_EQ(extractIDraw(named, work_, log_), std::nullopt);
    EXPECT_EQ(tree(work_), QStringList({"Images/", "Images/photo.png", "data.xml", "preview.jpg"}));
}

TEST_F(DrawingArchiveTest, AnUnpackingThatHangsTimesOut) {
    UnpackRules rules;
    rules.unpackTimeout = 1;
    rules.tool = fakeTool(R"(case "$1" in -Z|-p) exec /usr/bin/unzip "$@";; esac
exec sleep 30)");
    EXPECT_EQ(unpack(zipBytes(kDrawing), rules), RescueError::archiveTimedOut(1));
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^exit none \\(killed\\), TIMED OUT, 1\\.\\d\\ds$"))
            .match(fact(QStringLiteral("unpack result")).value_or(QString()))
            .hasMatch());
}

TEST_F(DrawingArchiveTest, AListingThatHangsTimesOutBeforeAnythingIsUnpacked) {
    UnpackRules rules;
    rules.inspectionTimeout = 1;
    rules.tool = fakeTool("exec sleep 30");
    EXPECT_EQ(unpack(zipBytes(kDrawing), rules), RescueError::archiveTimedOut(1));
    expectNothingUnpacked();
}

TEST_F(DrawingArchiveTest, AToolThatCannotBeLaunchedMakesTheArchiveUnreadable) {
    UnpackRules rules;
    rules.tool = path(QStringLiteral("no-such-unzip"));
    const std::optional<RescueError> error = unpack(zipBytes(kDrawing), rules);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), RescueError::Kind::archiveUnreadable);
    EXPECT_TRUE(error->text().contains(QStringLiteral("No such file or directory")));
    EXPECT_EQ(fact(QStringLiteral("listing output")), error->text());
}

}  // namespace
}  // namespace keelwick
