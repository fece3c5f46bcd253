#include "support/CliRunner.h"
#include "support/Files.h"
#include "support/WriteFailures.h"
#include "support/ZipWriter.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <csignal>
#include <cstring>

#include <gtest/gtest.h>

using namespace keelwick::testing;
using keelwick::testing::zipBytes;

namespace {

// The small drawing of the golden tests, and the SVG it converts to.
const QString kSmallFixture =
    QStringLiteral(KEELWICK_SOURCE_DIR "/tests/fixtures/document/small-drawing");
const QByteArray kSmallDrawing = readFile(kSmallFixture + "/data.xml");
const QByteArray kExpectedSvg = readFile(kSmallFixture + ".svg");

struct DrawingFolder {
    QTemporaryDir root;
    QString folder() const { return root.filePath("drawing"); }
    QString dataFile() const { return root.filePath("drawing/data.xml"); }

    explicit DrawingFolder(const QByteArray& data) { writeFile(dataFile(), data); }
};

}  // namespace

TEST(CliSvg, WritesTheSvgOfAFolderOrADataFile) {
    DrawingFolder drawing(kSmallDrawing);
    const CliRun fromFolder = runCli({"svg", drawing.folder()});
    EXPECT_EQ(fromFolder.exitCode, 0);
    EXPECT_EQ(fromFolder.standardOutput, kExpectedSvg);
    EXPECT_EQ(fromFolder.standardError, "");

    const CliRun fromFile = runCli({"svg", drawing.dataFile()});
    EXPECT_EQ(fromFile.standardOutput, kExpectedSvg);

    const QString output = drawing.root.filePath("out.svg");
    const CliRun toFile = runCli({"svg", drawing.folder(), "-o", output});
    EXPECT_EQ(toFile.exitCode, 0);
    EXPECT_EQ(toFile.standardOutput, "");
    EXPECT_EQ(readFile(output), kExpectedSvg);
    // The input is never touched.
    EXPECT_EQ(readFile(drawing.dataFile()), kSmallDrawing);
}

TEST(CliSvg, FailuresSayWhatWentWrong) {
    DrawingFolder notAPlist(QByteArray::fromHex("0001025b6a756e6b7b00ff"));
    const CliRun garbage = runCli({"svg", notAPlist.folder()});
    EXPECT_EQ(garbage.exitCode, 1);
    EXPECT_EQ(garbage.standardOutput, "");
    EXPECT_EQ(garbage.standardError,
              "keelwick-cli: The data couldn’t be read because it isn’t in the correct "
              "format.\n");

    DrawingFolder list("<plist><array><string>x</string></array></plist>");
    EXPECT_EQ(runCli({"svg", list.folder()}).standardError,
              "keelwick-cli: This Graphic/iDraw file contains an unsupported property list.\n");

    QTemporaryDir empty;
    const CliRun missing = runCli({"svg", empty.path()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.standardError,
              "keelwick-cli: This Graphic/iDraw file does not contain data.xml.\n");

    const CliRun nowhere = runCli({"svg", empty.filePath("absent")});
    EXPECT_EQ(nowhere.exitCode, 1);
    EXPECT_TRUE(nowhere.standardError.contains("no such file or folder"));

    // An output that cannot be written leaves nothing behind and fails.
    DrawingFolder drawing(kSmallDrawing);
    const CliRun unwritable =
        runCli({"svg", drawing.folder(), "-o", empty.filePath("no/dir/x.svg")});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_FALSE(QFile::exists(empty.filePath("no/dir/x.svg")));
}

TEST(CliSvg, UsageErrorsHelpAndVersion) {
    EXPECT_EQ(runCli({}).exitCode, 2);
    EXPECT_EQ(runCli({"frobnicate"}).exitCode, 2);
    EXPECT_EQ(runCli({"svg"}).exitCode, 2);
    EXPECT_EQ(runCli({"svg", "a", "b"}).exitCode, 2);
    EXPECT_EQ(runCli({"svg", "--bogus", "a"}).exitCode, 2);

    const CliRun help = runCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.standardOutput.contains("svg INPUT [-o FILE]"));
    const CliRun svgHelp = runCli({"svg", "--help"});
    EXPECT_EQ(svgHelp.exitCode, 0);
    EXPECT_TRUE(svgHelp.standardOutput.startsWith("Usage: keelwick-cli svg [options] INPUT"));

    const CliRun version = runCli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.standardOutput.startsWith("keelwick-cli 0.1.0"));
}

TEST(CliSvg, ReadsArchivesAndLeavesNothingBehind) {
    QTemporaryDir folder;
    QDir(folder.path()).mkpath("tmp");
    // An image fill whose asset is a link to a file outside the drawing: never embedded.
    writeFile(folder.filePath("secret.png"), "SECRET-BYTES-THAT-MUST-NOT-LEAK");
    const QByteArray linked =
        "<plist version=\"1.0\"><dict><key>Layers</key><array><dict><key>Shapes</key><array>"
        "<dict><key>ShapeType</key><string>PathShape</string>"
        "<key>Path</key><string>M 0 0 L 10 10</string>"
        "<key>Appearance</key><array><dict><key>Type</key><string>Fill</string>"
        "<key>FillType</key><integer>3</integer><key>FillImage</key><dict>"
        "<key>Name</key><string>logo.png</string></dict></dict></array></dict>"
        "</array></dict></array></dict></plist>";
    const QString archive =
        writeFile(folder.filePath("linked.idraw"),
                  zipBytes({fileEntry("data.xml", linked), folderEntry("Images/"),
                            linkEntry("Images/logo.png", folder.filePath("secret.png").toUtf8())}));

    const CliRun run = runCli({"svg", archive}, folder.filePath("tmp"));
    EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    EXPECT_TRUE(
        run.standardOutput.contains("<!-- Missing embedded image asset: Images/logo.png -->"));
    EXPECT_FALSE(run.standardOutput.contains(QByteArray("SECRET-BYTES").toBase64().left(8)));
    EXPECT_EQ(
        QDir(folder.filePath("tmp")).entryList({"Keelwick*"}, QDir::AllEntries | QDir::Hidden),
        QStringList{});

    const QString damaged = writeFile(folder.filePath("damaged.idraw"),
                                      zipBytes({fileEntry("data.xml", linked)}).left(60));
    const CliRun broken = runCli({"svg", damaged}, folder.filePath("tmp"));
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_TRUE(broken.standardError.startsWith("keelwick-cli: This Graphic/iDraw file"));
    EXPECT_EQ(
        QDir(folder.filePath("tmp")).entryList({"Keelwick*"}, QDir::AllEntries | QDir::Hidden),
        QStringList{});
}

TEST(CliPreview, RendersThePngAtTheRequestedSize) {
    DrawingFolder drawing(kSmallDrawing);
    const QString png = drawing.root.filePath("small.png");
    const CliRun run = runCli({"preview", drawing.folder(), "-o", png});
    ASSERT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    EXPECT_EQ(QImage(png).size(), QSize(120, 70));

    const CliRun smaller = runCli({"preview", drawing.folder(), "-o", png, "--max", "60"});
    EXPECT_EQ(smaller.exitCode, 0);
    EXPECT_EQ(QImage(png).size(), QSize(60, 35));

    // A temporary folder deep enough that a socket's path in it could not be bound; the
    // browser leaves nothing there, nor in the user's configuration folder.
    QTemporaryDir temporary;
    const QString deep = temporary.filePath(QString(100, u'x'));
    ASSERT_TRUE(QDir().mkpath(deep));
    const CliRun deeply = runCli({"preview", drawing.folder(), "-o", png}, deep);
    EXPECT_EQ(deeply.exitCode, 0) << deeply.standardError.toStdString();
    EXPECT_EQ(QDir(deep).entryList({"Keelwick*"}, QDir::AllEntries | QDir::Hidden), QStringList{});
    EXPECT_FALSE(QFileInfo::exists(deep + "/settings/chromium"));

    EXPECT_EQ(runCli({"preview", drawing.folder()}).exitCode, 2);
    EXPECT_EQ(runCli({"preview", drawing.folder(), "-o", png, "--max", "0"}).exitCode, 2);
    EXPECT_EQ(runCli({"preview", drawing.folder(), "-o", png, "--max", "big"}).exitCode, 2);
    EXPECT_EQ(runCli({"preview", drawing.folder(), "-o", png, "--max", "16385"}).exitCode, 2);
}

TEST(CliPreview, CtrlCSigtermAndSighupLetTheRenderEndAndCleanUp) {
    DrawingFolder drawing(kSmallDrawing);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(::strsignal(signal));
        QTemporaryDir temporary;
        const QString png = drawing.root.filePath("small.png");
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("TMPDIR", temporary.path());
        process.setProcessEnvironment(environment);
        process.start(KEELWICK_CLI_PATH, {"preview", drawing.folder(), "-o", png});
        // The browser's profile folder shows that the render has begun.
        const auto ours = [&] {
            return QDir(temporary.path()).entryList({"Keelwick*"}, QDir::AllEntries | QDir::Hidden);
        };
        QDeadlineTimer deadline(30000);
        while (ours().isEmpty() && !deadline.hasExpired() && !process.waitForFinished(5)) {
        }
        ASSERT_FALSE(ours().isEmpty()) << "the render never began";
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(30000));

        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 130);
        EXPECT_EQ(process.readAllStandardError(),
                  "keelwick-cli: interrupted; nothing was written\n");
        EXPECT_FALSE(QFileInfo::exists(png));
        EXPECT_EQ(ours(), QStringList{});
    }
}

TEST(CliAnalyze, NamesFromDrawingsAndFilesCannotSteerTheTerminal) {
    // A font name that would retitle the terminal, erase its line and print a fake verdict,
    // in a drawing whose file name holds an escape sequence and a line feed.
    const QByteArray document =
        "{ Layers = ( { Shapes = ( { ShapeType = \"TextShape\"; "
        "FontName = \"Evil\\033]0;pwned\\007\\033[2K\\rmissing fonts:   none\"; } ); } ); }";
    QTemporaryDir folder;
    const QString archive = writeFile(folder.filePath("bad\x1b[31m\n.idraw"),
                                      zipBytes({fileEntry("data.xml", document)}));
    const QString shownPath = folder.filePath("bad\\e[31m\\n.idraw");
    const QString shownFont = "Evil\\e]0;pwned\\x07\\e[2K\\rmissing fonts:   none";

    const CliRun analysed = runCli({"analyze", archive});
    EXPECT_EQ(analysed.exitCode, 0) << analysed.standardError.toStdString();
    EXPECT_EQ(QString::fromUtf8(analysed.standardOutput),
              QString("%1\n  stored picture:  none\n  embedded images: 0\n"
                      "  missing fonts:   %2\n\nMissing fonts:\n  %2\n    %1\n\n"
                      "1 drawings analysed.\n")
                  .arg(shownPath, shownFont));

    // The progress lines and error messages of convert show them escaped too.
    const QString destination = folder.filePath("out\x07");
    const CliRun converted = runCli({"convert", archive, "--to", destination});
    EXPECT_TRUE(converted.standardError.contains("] Checking bad\\e[31m\\n.idraw…\n"))
        << converted.standardError.toStdString();
    EXPECT_TRUE(
        converted.standardOutput.endsWith(QString("\nPreview images: %1\nReport: %1/report.txt\n")
                                              .arg(folder.filePath("out\\x07"))
                                              .toUtf8()))
        << converted.standardOutput.toStdString();
    EXPECT_FALSE(converted.standardError.contains('\x1b'));
    EXPECT_FALSE(converted.standardOutput.contains('\x1b'));
    const CliRun missing = runCli({"svg", folder.filePath("gone\x1b[2K")});
    EXPECT_EQ(missing.standardError, "keelwick-cli: " + folder.filePath("gone\\e[2K").toUtf8() +
                                         ": no such file or folder\n");
}

TEST(CliOutput, NeverReplacesTheDrawingItReads) {
    DrawingFolder drawing(kSmallDrawing);
    const QString archive = drawing.root.filePath("d.idraw");
    writeFile(archive, "archive bytes");
    QFile::link(archive, drawing.root.filePath("alias.idraw"));
    QFile::link(drawing.folder(), drawing.root.filePath("alias"));

    const QString replacing =
        ": the output would replace the drawing being read; choose another "
        "file\n";
    const struct {
        QString input;
        QString output;
        QString message;
    } cases[] = {
        {archive, archive, replacing},
        {archive, drawing.folder() + "/../alias.idraw", replacing},
        {drawing.dataFile(), drawing.root.filePath("alias/data.xml"), replacing},
        {drawing.folder(), drawing.root.filePath("alias/Images/new.png"),
         ": the output lies inside " + drawing.folder() +
             ", the drawing being read; choose a file outside it\n"},
    };
    for (const auto& test : cases) {
        for (const char* command : {"svg", "preview"}) {
            const CliRun run = runCli({command, test.input, "-o", test.output});
            EXPECT_EQ(run.exitCode, 2) << command << ' ' << test.output.toStdString();
            EXPECT_EQ(run.standardError, "keelwick-cli: " + test.output + test.message);
        }
    }
    EXPECT_EQ(readFile(drawing.dataFile()), kSmallDrawing);
    EXPECT_EQ(readFile(archive), "archive bytes");
}

TEST(CliOutput, AWriteThatFailsPartWayKeepsTheEarlierFile) {
    DrawingFolder drawing(kSmallDrawing);
    const QString svg = writeFile(drawing.root.filePath("small.svg"), "earlier");
    {
        const FileSizeLimit limit(100);
        const CliRun run = runCli({"svg", drawing.folder(), "-o", svg});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.standardError, "keelwick-cli: " + svg + ": File too large\n");
    }
    EXPECT_EQ(readFile(svg), "earlier");

    SmallFileSystem full(256 * 1024);
    if (!full.isMounted()) {
        GTEST_SKIP() << "a full file system needs the administrator to mount it";
    }
    const QString png = writeFile(full.path("small.png"), "earlier");
    full.fillLeaving(0);
    const CliRun run = runCli({"preview", drawing.folder(), "-o", png});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.standardError, "keelwick-cli: " + png + ": No space left on device\n");
    EXPECT_EQ(readFile(png), "earlier");
}

TEST(CliInput, WhatIsNoFileFailsAtOnce) {
    QTemporaryDir folder;
    const QString pipe = folder.filePath("pipe.idraw");
    const QString dataPipe = folder.filePath("data.xml");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(dataPipe).constData(), 0600), 0);
    QElapsedTimer clock;
    clock.start();
    for (const QStringList& arguments : {QStringList{"svg", pipe},
                                         {"preview", pipe, "-o", folder.filePath("x.png")},
                                         {"svg", dataPipe},
                                         {"svg", folder.path()}}) {
        const QString path = arguments.at(1) == folder.path() ? dataPipe : arguments.at(1);
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.standardError, "keelwick-cli: “" + path +
                                         "” is a named pipe (FIFO), not a file, so it cannot be "
                                         "read.\n");
    }
    EXPECT_LT(clock.elapsed(), 20000);
}
