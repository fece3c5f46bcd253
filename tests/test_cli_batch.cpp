// keelwick-cli analyze and convert, end to end over folder trees of real drawings.

#include "cli/ModelSession.h"
#include "support/CliRunner.h"
#include "support/Files.h"
#include "support/QtPrinting.h"
#include "support/WriteFailures.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

using namespace keelwick::testing;

namespace {

QString example(const QString& name) {
    return QStringLiteral(KEELWICK_SOURCE_DIR "/examples/") + name;
}

void copyExample(const QString& name, const QString& destination) {
    QDir().mkpath(QFileInfo(destination).path());
    ASSERT_TRUE(QFile::copy(example(name), destination)) << destination.toStdString();
}

QStringList lines(const QByteArray& text) {
    return QString::fromUtf8(text).split(u'\n');
}

/// Every file below `root` (relative paths, sorted), with the checksum of its bytes.
QStringList treeDigest(const QString& root) {
    QStringList digest;
    QDirIterator files(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        digest.append(QDir(root).relativeFilePath(path) + u' ' +
                      QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256).toHex());
    }
    digest.sort();
    return digest;
}

/// Files below `root` whose names start with `prefix`, at any depth.
QStringList filesNamed(const QString& root, const QString& prefix) {
    QStringList found;
    QDirIterator files(root, {prefix + u'*'},
                       QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        found.append(files.next());
    }
    return found;
}

/// The report's entry lines: those starting with the rescued or failed mark.
QStringList entryTitles(const QByteArray& report) {
    QStringList titles;
    for (const QString& line : lines(report)) {
        if (line.startsWith(u'✓') || line.startsWith(u'✕')) {
            titles.append(line);
        }
    }
    return titles;
}

/// A tree of drawings: two nested good ones, one at the top, a broken one, a hidden one
/// and a file that is no drawing.
struct DrawingTree {
    QTemporaryDir folder;
    QString root() const { return folder.filePath("drawings"); }
    QString path(const QString& relative) const { return root() + u'/' + relative; }

    DrawingTree() {
        copyExample("poster.idraw", path("Poster 10.idraw"));
        copyExample("product-sheet.idraw", path("sheets/Sheet 9.idraw"));
        copyExample("logo-study.idraw", path("sheets/old/logo.IDRAW"));
        copyExample("damaged.idraw", path("broken.idraw"));
        copyExample("poster.idraw", path(".hidden.idraw"));
        writeFile(path("notes.txt"), "not a drawing\n");
    }
};

/// A run in its own temporary folder and settings, so nothing is left in shared places.
struct Sandbox {
    QTemporaryDir temporary;
    QString output() const { return temporary.filePath("out"); }
    QString temporaryFolder() const { return temporary.filePath("tmp"); }
    CliRun run(const QStringList& arguments) const { return runCli(arguments, temporaryFolder()); }
    Sandbox() { QDir(temporary.path()).mkpath("tmp"); }
    /// All that is in the temporary folder, ours or not.
    QStringList everythingInTemporaryFolder() const { return contents(temporaryFolder()); }
    /// Work folders and temporary files of ours left in the temporary folder.
    QStringList leftovers() const {
        return QDir(temporaryFolder()).entryList({"Keelwick*"}, QDir::AllEntries | QDir::Hidden);
    }
};

}  // namespace

TEST(CliConvert, RescuesAFolderTreeIntoMirroredPreviewsAndAReport) {
    DrawingTree tree;
    Sandbox sandbox;
    const QStringList before = treeDigest(tree.root());

    const CliRun run = sandbox.run({"convert", tree.root(), "--to", sandbox.output()});

    EXPECT_EQ(run.exitCode, 1) << run.standardError.toStdString();
    const QString out = sandbox.output();
    EXPECT_EQ(QString::fromUtf8(run.standardOutput),
              QStringLiteral("3 drawings checked; preview images saved, 1 need attention.\n"
                             "Preview images: %1\nReport: %1/report.txt\n")
                  .arg(out));
    // Previews mirror the folders below the chosen one; the hidden drawing is not touched.
    QStringList written = treeDigest(out);
    for (QString& entry : written) {
        entry.truncate(entry.lastIndexOf(u' '));
    }
    EXPECT_EQ(written, (QStringList{"Poster 10.png", "report.txt", "sheets/Sheet 9.png",
                                    "sheets/old/logo.png"}));
    EXPECT_FALSE(QImage(out + "/sheets/Sheet 9.png").isNull());

    const QByteArray report = readFile(out + "/report.txt");
    EXPECT_TRUE(
        report.contains("\nDestination: " + out.toUtf8() + "\nResult: 3 rescued, 1 failed\n"));
    EXPECT_EQ(entryTitles(report), (QStringList{"✕ broken.idraw", "✓ Poster 10.idraw",
                                                "✓ logo.IDRAW", "✓ Sheet 9.idraw"}));
    EXPECT_TRUE(report.contains("✓ Sheet 9.idraw\n  PNG preview image saved to: " + out.toUtf8() +
                                "/sheets/Sheet 9.png. SVG checked in memory only.\n"));
    EXPECT_TRUE(report.contains(
        "✕ broken.idraw\n  Could not rescue: This Graphic/iDraw file could not be opened as an "
        "archive.\n  --- diagnostics ---\n"));

    EXPECT_TRUE(filesNamed(out, ".vellix-permission-check-").isEmpty());
    EXPECT_TRUE(sandbox.leftovers().isEmpty()) << sandbox.leftovers().join(u' ').toStdString();
    EXPECT_EQ(treeDigest(tree.root()), before) << "the drawings were changed";
    // The drawings that came out well join the all-time count, as a window's run would.
    const QSettings settings(sandbox.temporary.filePath("tmp/settings/Keelwick/Keelwick.conf"),
                             QSettings::IniFormat);
    EXPECT_EQ(settings.value("totalRescuedDrawingCount").toInt(), 3);
    // Plain progress lines on standard error when it is not a terminal.
    EXPECT_TRUE(run.standardError.contains("[  0%] Checking save permissions…\n"));
    EXPECT_TRUE(run.standardError.contains("] Checking Sheet 9.idraw…"));

    // Without --overwrite the previews already there stay and those drawings fail.
    const CliRun again = sandbox.run({"convert", tree.root(), "--to", out});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.standardOutput.startsWith(
        "0 drawings checked; preview images saved, 4 need attention.\n"));
    EXPECT_TRUE(again.standardError.endsWith(
        "keelwick-cli: 3 preview images were in the destination already and were kept; "
        "--overwrite replaces them\n"));
    EXPECT_TRUE(readFile(out + "/report.txt")
                    .contains("Could not rescue: Destination file already exists: " + out.toUtf8() +
                              "/Poster 10.png."));
    const CliRun overwriting = sandbox.run({"convert", tree.root(), "--to", out, "--overwrite"});
    EXPECT_TRUE(overwriting.standardOutput.startsWith(
        "3 drawings checked; preview images saved, 1 need attention.\n"));
}

TEST(CliRescue, WritesMirroredSVGFilesWithTheirImagesAndFontNotesAndKeepsThemUnlessTold) {
    DrawingTree tree;
    Sandbox sandbox;
    const QString out = sandbox.output();
    const auto rescue = [&](const QStringList& options) {
        return sandbox.run(QStringList{"rescue", tree.root(), "--to", out} + options);
    };
    const CliRun run = rescue({});
    EXPECT_EQ(run.exitCode, 1) << run.standardError.toStdString();
    EXPECT_EQ(QString::fromUtf8(run.standardOutput),
              QStringLiteral("3 drawings rescued as SVG, 1 need attention.\n"
                             "SVG files: %1\nReport: %1/report.txt\n")
                  .arg(out));
    const QStringList written = treeDigest(out);
    QStringList names;
    for (const QString& entry : written) {
        names.append(entry.left(entry.lastIndexOf(u' ')));
    }
    EXPECT_EQ(names,
              (QStringList{"Poster 10.svg", "Poster 10_missing-fonts.txt", "report.txt",
                           "sheets/Sheet 9.svg", "sheets/Sheet 9_images/field-bag.jpg",
                           "sheets/Sheet 9_images/swatch-navy.png",
                           "sheets/Sheet 9_images/swatch-olive.png",
                           "sheets/Sheet 9_images/swatch-waxed-tan.tiff", "sheets/old/logo.svg"}));
    // The SVG is the one `svg` writes; the images are the archive's own bytes.
    EXPECT_EQ(readFile(out + "/sheets/Sheet 9.svg"),
              sandbox.run({"svg", tree.path("sheets/Sheet 9.idraw")}).standardOutput);
    QProcess unzip;
    unzip.start("/usr/bin/unzip", {"-p", example("product-sheet.idraw"), "Images/field-bag.jpg"});
    unzip.waitForFinished();
    EXPECT_EQ(readFile(out + "/sheets/Sheet 9_images/field-bag.jpg"),
              unzip.readAllStandardOutput());
    EXPECT_TRUE(readFile(out + "/Poster 10_missing-fonts.txt")
                    .contains("\nZapfino-Regular\n  Google Fonts: https://"));
    EXPECT_TRUE(
        readFile(out + "/report.txt")
            .contains("✓ Sheet 9.idraw\n  Saved to: " + out.toUtf8() + "/sheets/Sheet 9.svg\n"));
    EXPECT_TRUE(sandbox.leftovers().isEmpty()) << sandbox.leftovers().join(u' ').toStdString();

    // Everything already there is kept, each drawing failing with the file it would replace;
    // with --overwrite the files are replaced and previews added when asked for.
    const CliRun again = rescue({});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.standardError.contains(
        "keelwick-cli: 3 drawings had files in the destination already, which were kept; "
        "--overwrite replaces them\n"));
    EXPECT_EQ(treeDigest(out).filter(".svg"), written.filter(".svg"));
    const CliRun replaced = rescue({"--overwrite", "--previews"});
    EXPECT_TRUE(
        replaced.standardOutput.startsWith("3 drawings rescued as SVG, 1 need attention.\n"));
    EXPECT_FALSE(QImage(out + "/sheets/old/logo.png").isNull());

    // Without original images and font notes only the SVG files and the report are written.
    const QString bare = sandbox.temporary.filePath("bare");
    EXPECT_EQ(
        sandbox
            .run({"rescue", tree.root(), "--to", bare, "--no-original-images", "--no-font-notes"})
            .exitCode,
        1);
    EXPECT_EQ(treeDigest(bare).filter(".svg").size(), 3);
    EXPECT_EQ(treeDigest(bare).size(), 4) << treeDigest(bare).join('\n').toStdString();
}

TEST(CliConvert, RefusesRunsThatCannotStartAndWritesNothing) {
    DrawingTree tree;
    Sandbox sandbox;
    const QString out = sandbox.output();
    const QString aFile = tree.path("notes.txt");
    const QString missing = tree.path("missing.idraw");
    QTemporaryDir empty;

    struct Case {
        QStringList arguments;
        QByteArray expectedError;
    };
    const QList<Case> cases{
        {{"convert", tree.root()},
         "keelwick-cli: convert needs --to DIR (see keelwick-cli convert --help)\n"},
        {{"convert", "--to", out},
         "keelwick-cli: convert needs at least one PATH (see keelwick-cli convert --help)\n"},
        {{"convert", missing, tree.root(), "--to", out},
         "keelwick-cli: " + missing.toUtf8() + ": no such file or folder\n"},
        {{"convert", tree.root(), "--to", aFile},
         "keelwick-cli: " + aFile.toUtf8() + ": the destination is a file, not a folder\n"},
        {{"convert", tree.root(), "--to", tree.path("sheets/previews")},
         "keelwick-cli: " + tree.path("sheets/previews").toUtf8() +
             ": the destination lies inside " + tree.root().toUtf8() +
             ", which is being rescued; choose a folder outside it\n"},
        {{"convert", empty.path(), "--to", out},
         "keelwick-cli: No Graphic/iDraw drawings found yet.\n"},
        // A folder no one can create files in, not even the administrator.
        {{"convert", tree.root(), "--to", "/proc"},
         "keelwick-cli: Could not create the output folder: /proc\n"},
    };
    const QStringList before = treeDigest(tree.root());
    for (const Case& test : cases) {
        const CliRun run = sandbox.run(test.arguments);
        EXPECT_EQ(run.exitCode, 2) << test.arguments.join(u' ').toStdString();
        EXPECT_TRUE(run.standardError.endsWith(test.expectedError))
            << run.standardError.toStdString();
        EXPECT_TRUE(run.standardOutput.isEmpty()) << run.standardOutput.toStdString();
        EXPECT_FALSE(QFileInfo::exists(out)) << test.arguments.join(u' ').toStdString();
    }
    EXPECT_EQ(treeDigest(tree.root()), before);
    EXPECT_TRUE(sandbox.leftovers().isEmpty());
}

TEST(CliConvert, AFullDiskFailsTheDrawingsAndLeavesNoEmptyFile) {
    SmallFileSystem full(512 * 1024);
    if (!full.isMounted()) {
        GTEST_SKIP() << "a full file system needs the administrator to mount it";
    }
    QTemporaryDir sources;
    copyExample("poster.idraw", sources.filePath("a.idraw"));
    copyExample("logo-study.idraw", sources.filePath("b.idraw"));
    Sandbox sandbox;
    const QString out = full.path("out");
    const QStringList arguments{"convert", sources.path(), "--to", out};

    // Room for the destination check's probe and the report, none for a preview image.
    full.fillLeaving(16 * 1024);
    const CliRun run = sandbox.run(arguments);
    EXPECT_EQ(run.exitCode, 1) << run.standardError.toStdString();
    EXPECT_TRUE(run.standardOutput.startsWith(
        "0 drawings checked; preview images saved, 2 need attention.\n"));
    const QByteArray report = readFile(out + "/report.txt");
    EXPECT_EQ(report.count("  failed stage: writing the PNG preview image\n"), 2);
    EXPECT_EQ(report.count("  error domain/code: NSPOSIXErrorDomain / 28\n"), 2);
    EXPECT_TRUE(report.contains("Could not rescue: Could not write the PNG preview image “" +
                                out.toUtf8() + "/a.png”: No space left on device\n"));
    EXPECT_EQ(treeDigest(out).size(), 1) << "only report.txt";

    // No room even for the probe: the run does not start.
    QFile::remove(out + "/report.txt");
    full.fillLeaving(0);
    const CliRun refused = sandbox.run(arguments);
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.standardError.endsWith(
        "keelwick-cli: Could not create the output folder: " + out.toUtf8() + "\n"));
    EXPECT_EQ(treeDigest(out), QStringList());
    EXPECT_TRUE(sandbox.leftovers().isEmpty());
}

/// A convert run over twelve drawings, started in `sandbox`, once it checks the third.
class ConvertInProgress {
  public:
    static constexpr int kDrawings = 12;

    explicit ConvertInProgress(const Sandbox& sandbox) {
        for (int index = 1; index <= kDrawings; ++index) {
            copyExample("poster.idraw", sources_.filePath(QString("poster %1.idraw").arg(index)));
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", sandbox.temporaryFolder());
        environment.insert("XDG_CONFIG_HOME", sandbox.temporary.path());
        // Qt's own runtime folder would otherwise go into the temporary folder.
        environment.insert("XDG_RUNTIME_DIR", sandbox.temporary.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(KEELWICK_CLI_PATH),
                      {"convert", sources_.path(), "--to", sandbox.output()});
        process.setReadChannel(QProcess::StandardError);
        while (!progress.contains("Checking poster 3.idraw") && process.waitForReadyRead(30000)) {
            progress += process.readAllStandardError();
        }
    }
    bool hasBegun() const { return progress.contains("Checking poster 3.idraw"); }
    void send(int signal) { ::kill(static_cast<pid_t>(process.processId()), signal); }

    QProcess process;
    QByteArray progress;

  private:
    QTemporaryDir sources_;
};

/// Processes whose command line names `text`, such as a browser working in a folder.
QStringList processesNaming(const QByteArray& text) {
    QStringList found;
    for (const QString& id : QDir("/proc").entryList({"[0-9]*"})) {
        const QByteArray commandLine = readFile(QString("/proc/%1/cmdline").arg(id));
        if (commandLine.contains(text)) {
            found.append(id + u' ' + QString::fromUtf8(commandLine).replace(u'\0', u' '));
        }
    }
    return found;
}

TEST(CliConvert, CtrlCSigtermAndSighupStopAfterTheCurrentDrawingAndStillWriteTheReport) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(::strsignal(signal));
        Sandbox sandbox;
        ConvertInProgress run(sandbox);
        ASSERT_TRUE(run.hasBegun()) << run.progress.toStdString();
        run.send(signal);
        ASSERT_TRUE(run.process.waitForFinished(60000));
        run.progress += run.process.readAllStandardError();

        EXPECT_EQ(run.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.process.exitCode(), 1) << run.progress.toStdString();
        const QByteArray status = run.process.readAllStandardOutput();
        const QByteArray report = readFile(sandbox.output() + "/report.txt");
        const QStringList titles = entryTitles(report);
        // The drawing in progress completes; the rest are never touched.
        ASSERT_GE(titles.size(), 3);
        ASSERT_LT(titles.size(), ConvertInProgress::kDrawings);
        EXPECT_TRUE(status.startsWith(QStringLiteral("Dry run cancelled — %1 of %2 drawings were "
                                                     "checked; preview images saved.\n")
                                          .arg(titles.size())
                                          .arg(ConvertInProgress::kDrawings)
                                          .toUtf8()))
            << status.toStdString();
        EXPECT_TRUE(run.progress.contains("Finishing the current drawing, then stopping…"));
        EXPECT_EQ(filesNamed(sandbox.output(), "poster").size(), titles.size());
        EXPECT_EQ(sandbox.everythingInTemporaryFolder(), QStringList());
    }
}

TEST(CliConvert, ASecondSignalEndsAtOnceAndStillLeavesNothingBehind) {
    Sandbox sandbox;
    ConvertInProgress run(sandbox);
    ASSERT_TRUE(run.hasBegun()) << run.progress.toStdString();
    run.send(SIGTERM);
    run.send(SIGHUP);
    ASSERT_TRUE(run.process.waitForFinished(30000));

    EXPECT_EQ(run.process.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(sandbox.everythingInTemporaryFolder(), QStringList());
    // The browser, in a process group of its own, was ended with the program.
    QDeadlineTimer deadline(5000);
    while (!processesNaming(sandbox.temporaryFolder().toUtf8()).isEmpty() &&
           !deadline.hasExpired()) {
        QThread::msleep(20);
    }
    EXPECT_EQ(processesNaming(sandbox.temporaryFolder().toUtf8()), QStringList());
}

TEST(CliAnalyze, ReportsEveryDrawingAsJsonAndAsText) {
    DrawingTree tree;
    Sandbox sandbox;
    const CliRun run = sandbox.run({"analyze", "--json", tree.root()});
    ASSERT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    EXPECT_TRUE(run.standardError.isEmpty()) << run.standardError.toStdString();
    const QJsonObject report = QJsonDocument::fromJson(run.standardOutput).object();

    const QJsonArray drawings = report.value("drawings").toArray();
    QStringList displayPaths;
    for (const QJsonValue& drawing : drawings) {
        displayPaths.append(drawing.toObject().value("displayPath").toString());
    }
    EXPECT_EQ(displayPaths, (QStringList{"broken.idraw", "Poster 10.idraw", "sheets/old/logo.IDRAW",
                                         "sheets/Sheet 9.idraw"}));
    const QJsonObject broken = drawings.at(0).toObject();
    EXPECT_EQ(broken.value("path").toString(), tree.path("broken.idraw"));
    EXPECT_EQ(broken.value("previewBytes").toInteger(), 0);
    EXPECT_EQ(broken.value("fontInspectionError").toString(),
              "This Graphic/iDraw file could not be opened as an archive.");
    const QJsonObject poster = drawings.at(1).toObject();
    EXPECT_GT(poster.value("previewBytes").toInteger(), 0);
    EXPECT_TRUE(poster.value("fontInspectionError").isNull());
    EXPECT_EQ(poster.value("missingFonts").toArray(), QJsonArray{"Zapfino-Regular"});
    EXPECT_EQ(drawings.at(3).toObject().value("embeddedImageCount").toInteger(), 4);
    EXPECT_EQ(report.value("missingFontGroups").toArray(),
              (QJsonArray{QJsonObject{{"name", "Zapfino-Regular"},
                                      {"references", QJsonArray{"Poster 10.idraw"}}}}));

    const CliRun text =
        sandbox.run({"analyze", tree.path("broken.idraw"), tree.path("Poster 10.idraw")});
    ASSERT_EQ(text.exitCode, 0);
    const QString broken_ = tree.path("broken.idraw");
    const QString poster_ = tree.path("Poster 10.idraw");
    EXPECT_EQ(QString::fromUtf8(text.standardOutput),
              QStringLiteral("%1\n  stored picture:  none\n  embedded images: 0\n"
                             "  fonts not inspected: This Graphic/iDraw file could not be opened "
                             "as an archive.\n"
                             "%2\n  stored picture:  yes, %3 bytes\n  embedded images: 0\n"
                             "  missing fonts:   Zapfino-Regular\n\n"
                             "Missing fonts:\n  Zapfino-Regular\n    %2\n\n2 drawings analysed.\n")
                  .arg(broken_, poster_)
                  .arg(poster.value("previewBytes").toInteger()));
    EXPECT_TRUE(sandbox.leftovers().isEmpty());
}

TEST(CliAnalyze, PassesOverFoldersItCannotReadAndRefusesNamedOnes) {
    // Folders the administrator cannot be kept out of: run as the unprivileged "nobody".
    if (!QFileInfo::exists("/usr/bin/setpriv")) {
        GTEST_SKIP() << "setpriv is needed to run as another user";
    }
    DrawingTree tree;
    const QString locked = tree.path("sheets");
    QFile::setPermissions(tree.folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                  QFileDevice::ExeOther);
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::Permissions()));
    QTemporaryDir home;
    QFile::setPermissions(home.path(), QFileDevice::Permissions(0x7777));
    const auto runAsNobody = [&](const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("TMPDIR", home.path());
        environment.insert("HOME", home.path());
        environment.insert("XDG_CONFIG_HOME", home.path());
        environment.remove("XDG_RUNTIME_DIR");
        process.setProcessEnvironment(environment);
        process.start("/usr/bin/setpriv",
                      QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                                  QStringLiteral(KEELWICK_CLI_PATH)} +
                          arguments);
        process.waitForFinished(60000);
        return CliRun{process.exitCode(), process.readAllStandardOutput(),
                      process.readAllStandardError()};
    };
    const CliRun probe = runAsNobody({"--version"});
    if (probe.exitCode != 0) {
        QFile::setPermissions(
            locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        GTEST_SKIP() << "the program cannot run as nobody here: "
                     << probe.standardError.toStdString();
    }

    const CliRun run = runAsNobody({"analyze", tree.root()});
    EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    EXPECT_TRUE(run.standardOutput.contains("\nPoster 10.idraw\n"));
    EXPECT_FALSE(run.standardOutput.contains("Sheet 9"));
    EXPECT_TRUE(run.standardOutput.endsWith("\n2 drawings analysed.\n"));
    EXPECT_EQ(run.standardError, "keelwick-cli: Could not read the folder " + locked.toUtf8() +
                                     "; drawings inside it were passed over.\n");

    const CliRun named = runAsNobody({"analyze", locked});
    EXPECT_EQ(named.exitCode, 2);
    EXPECT_EQ(named.standardError,
              "keelwick-cli: " + locked.toUtf8() + ": the folder cannot be read\n");
    QFile::setPermissions(locked,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST(CliConvert, RescuesDrawingsWhoseNamesAreNotUtf8UnderTheirReadableNames) {
    QTemporaryDir folder;
    const QString source = folder.filePath("in/sub");
    QDir().mkpath(source);
    // "Café.idraw" in Latin-1, as old archives name files: no valid UTF-8, so only bytes.
    const QByteArray latin1 = QFile::encodeName(source) + "/Caf\xe9.idraw";
    const QByteArray drawing = readFile(example("logo-study.idraw"));
    const int descriptor = ::open(latin1.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_EQ(::write(descriptor, drawing.constData(), drawing.size()), drawing.size());
    ::close(descriptor);
    Sandbox sandbox;
    const CliRun run = sandbox.run({"convert", folder.filePath("in"), "--to", sandbox.output()});
    EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    EXPECT_EQ(entryTitles(readFile(sandbox.output() + "/report.txt")), QStringList{"✓ Café.idraw"});
    EXPECT_TRUE(QFileInfo::exists(sandbox.output() + "/sub/Café.png"));

    // Named on the command line by its bytes, which only a shell can pass here.
    QProcess shell;
    shell.start("/bin/sh", {"-c",
                            QStringLiteral("exec \"$0\" svg \"$(printf '%s/Caf\\351.idraw' "
                                           "\"$1\")\""),
                            QStringLiteral(KEELWICK_CLI_PATH), source});
    ASSERT_TRUE(shell.waitForFinished(60000));
    EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
    EXPECT_TRUE(shell.readAllStandardOutput().startsWith("<?xml"));
    EXPECT_TRUE(sandbox.leftovers().isEmpty());
}

TEST(CliConvert, ItsAnalysisReadsNoDrawing) {
    // A batch has no review: the rescue of each drawing reads its fonts and images itself.
    const keelwick::RescueViewModel::Services services = keelwick::cli::servicesForRuns();
    EXPECT_EQ(services.previewMetadata(example("poster.idraw"), services.installedFonts()),
              keelwick::PreviewMetadata());
}

TEST(CliConvert, KeepsItsTemporaryThingsInAFolderOfItsOwnAndChecksADrawingNamedTwiceOnce) {
    QTemporaryDir sources;
    copyExample("poster.idraw", sources.filePath("a.idraw"));
    const QStringList arguments{"convert", sources.path(), sources.filePath("./a.idraw"), "--to"};
    const QStringList others{"Keelwick", "Keelwick-abcdef", "Keelwick-abcdef/work"};

    // What another user or another run has in a shared temporary folder: a file named
    // "Keelwick", or folders of that name and of names like ours, empty or not.
    for (const bool asFile : {true, false}) {
        Sandbox sandbox;
        const QDir temporary(sandbox.temporaryFolder());
        if (asFile) {
            QFile file(temporary.filePath("Keelwick"));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        } else {
            for (const QString& folder : others) {
                ASSERT_TRUE(temporary.mkpath(folder));
            }
        }
        const QStringList before = sandbox.leftovers();

        const CliRun run = sandbox.run(arguments + QStringList{sandbox.output()});
        EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
        EXPECT_TRUE(run.standardOutput.startsWith("1 drawings checked; preview images saved.\n"));
        EXPECT_TRUE(run.standardError.contains(
            "keelwick-cli: 1 drawings were named more than once; each is checked once\n"));
        EXPECT_EQ(entryTitles(readFile(sandbox.output() + "/report.txt")),
                  QStringList{"✓ a.idraw"});
        EXPECT_EQ(sandbox.leftovers(), before);
        EXPECT_EQ(QFileInfo(temporary.filePath("Keelwick")).isFile(), asFile);
        EXPECT_EQ(QFileInfo(temporary.filePath(others.last())).isDir(), !asFile);
    }
}
