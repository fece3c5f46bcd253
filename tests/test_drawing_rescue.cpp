// One drawing from its file to its result: output paths, the PNG preview, the diagnostics of
// every failure stage, and what the rescue leaves on disk.

#include "convert/VellixConverter.h"
#include "pipeline/DrawingRescue.h"
#include "pipeline/RunFolder.h"
#include "pipeline/SVGPreviewImageRenderer.h"
#include "pipeline/WorkFolder.h"
#include "support/Files.h"
#include "support/QtPrinting.h"
#include "support/TemporaryFolderScope.h"
#include "support/ZipWriter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace keelwick;
using namespace keelwick::testing;

namespace {

QByteArray plist(const QByteArray& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body +
           "</plist>\n";
}

/// A 200 × 100 red square on a page, a text in a font nobody has, and two embedded images.
const QByteArray kRedSquare = plist(
    "<dict><key>Version</key><string>2.5</string><key>Layers</key><array><dict>"
    "<key>Shapes</key><array>"
    "<dict><key>ShapeType</key><string>PathShape</string>"
    "<key>Path</key><string>M 0 0 L 200 0 L 200 100 L 0 100 Z</string>"
    "<key>Appearance</key><array><dict><key>Type</key><string>Fill</string>"
    "<key>FillColor</key><string>1 0 0</string></dict></array></dict>"
    "<dict><key>ShapeType</key><string>TextShape</string><key>Text</key><string>Hi</string>"
    "<key>FontName</key><string>NoSuchFont-Bold</string>"
    "<key>Position</key><string>{50, 50}</string></dict>"
    "</array></dict></array></dict>");

QStringList labels(const QStringList& diagnostics) {
    QStringList found;
    for (const QString& line : diagnostics) {
        if (!line.startsWith(QLatin1Char(' '))) {
            found.append(line.section(QLatin1StringView(": "), 0, 0));
        }
    }
    return found;
}

QString fact(const QStringList& diagnostics, const QString& label) {
    for (const QString& line : diagnostics) {
        if (line.startsWith(label + QLatin1StringView(": "))) {
            return line.mid(label.size() + 2);
        }
    }
    return QStringLiteral("<absent>");
}

class DrawingRescueTest : public ::testing::Test {
  protected:
    // The rescues' work folders and the browser's profile go below a temporary folder of
    // this test program's own, so the tests can see what is left there.
    static void SetUpTestSuite() {
        suiteFolder_ = new QTemporaryDir;
        QDir(suiteFolder_->path()).mkpath("tmp");
        qputenv("TMPDIR", suiteFolder_->filePath("tmp").toUtf8());
        RunFolder::remove();  // the next one is made in the folder above
        renderer_ = new SVGPreviewImageRenderer;
        renderer_->render(QStringLiteral("<svg width=\"1\" height=\"1\"/>"), 10);  // browser up
    }
    static void TearDownTestSuite() {
        delete renderer_;
        RunFolder::remove();
        delete suiteFolder_;
    }

    void SetUp() override {
        ASSERT_TRUE(temporary_.isValid());
        options_.outputFolder = temporary_.filePath("out");
        previewRenderer_ = renderer_;
        temporaryEntriesBefore_ = temporaryEntries();
    }

    static QStringList temporaryEntries() {
        return keelwick::testing::TemporaryFolderScope::temporaryLeftovers(
            suiteFolder_->filePath("tmp"));
    }

    QString writeArchive(const QString& name, const std::vector<ZipEntry>& entries) {
        return writeFile(temporary_.filePath(name), zipBytes(entries));
    }

    RescueResult rescue(const QString& archive, std::optional<QString> baseFolder = {}) {
        return rescueDrawing(RescueCandidate(archive, std::move(baseFolder)), options_, converter_,
                             *previewRenderer_);
    }

    static inline QTemporaryDir* suiteFolder_ = nullptr;
    static inline SVGPreviewImageRenderer* renderer_ = nullptr;
    QTemporaryDir temporary_{suiteFolder_->filePath("case-XXXXXX")};
    RescueOptions options_;
    SVGPreviewImageRenderer* previewRenderer_ = nullptr;
    VellixConverter converter_;
    QStringList temporaryEntriesBefore_;
};

}  // namespace

TEST(DrawingRescuePaths, OutputPathsMirrorTheChosenFolder) {
    RescueOptions options;
    options.outputFolder = "/out";
    EXPECT_EQ(outputURL(RescueCandidate("/in/drawing.idraw"), options), "/out/drawing.svg");
    EXPECT_EQ(outputURL(RescueCandidate("/in/x/y/z.idraw", QStringLiteral("/in")), options),
              "/out/x/y/z.svg");
    EXPECT_EQ(outputURL(RescueCandidate("/in/a.b.IDRAW"), options), "/out/a.b.svg");
    // The chosen folder's name recurring below it stays: only the leading folder goes.
    EXPECT_EQ(outputURL(RescueCandidate("/a/x/a/y.idraw", QStringLiteral("/a")), options),
              "/out/x/a/y.svg");
    EXPECT_EQ(replacingExtension("/out/x.v2/name", "png"), "/out/x.v2/name.png");
    EXPECT_EQ(replacingExtension("/out/.hidden", "png"), "/out/.hidden.png");
}

TEST_F(DrawingRescueTest, RescuesADrawingToItsPreview) {
    const QString archive = writeArchive(
        "in/sub/red.idraw",
        {fileEntry("data.xml", kRedSquare), folderEntry("Images/"), fileEntry("Images/a.png", "a"),
         fileEntry("Images/b.jpg", "b"), fileEntry("QuickLook/Preview.jpg", "jpeg")});
    const QByteArray sourceBefore = readFile(archive);

    const RescueResult result = rescue(archive, temporary_.filePath("in"));
    ASSERT_EQ(result.errorMessage, std::nullopt) << result.diagnostics.join('\n').toStdString();
    EXPECT_EQ(result.outputURL, temporary_.filePath("out/sub/red.svg"));
    EXPECT_TRUE(result.isDryRun);
    EXPECT_TRUE(result.diagnostics.isEmpty());
    EXPECT_EQ(result.embeddedImageCount, 2);
    EXPECT_EQ(result.missingFonts, QStringList{"NoSuchFont-Bold"});

    // The canvas is the square plus 10 on every side; the square is red, the margin white.
    const QImage preview(temporary_.filePath("out/sub/red.png"));
    ASSERT_FALSE(preview.isNull());
    EXPECT_EQ(preview.size(), QSize(220, 120));
    EXPECT_EQ(preview.pixelColor(20, 100), QColor(Qt::red));
    EXPECT_EQ(preview.pixelColor(3, 3), QColor(Qt::white));
    EXPECT_FALSE(QFile::exists(temporary_.filePath("out/sub/red.svg")));

    EXPECT_EQ(readFile(archive), sourceBefore);
    EXPECT_EQ(temporaryEntries(), temporaryEntriesBefore_);
}

TEST_F(DrawingRescueTest, ARescueRunWritesTheSVGFileImagesAndFontNoteButNoPreview) {
    const QString archive = writeArchive(
        "in/sub/red.idraw", {fileEntry("data.xml", kRedSquare), folderEntry("Images/"),
                             fileEntry("Images/a.png", "a"), fileEntry("Images/b.jpg", "b")});
    SVGPreviewImageRenderer unused;  // never started: a rescue without previews needs no browser
    previewRenderer_ = &unused;
    options_.isDryRun = false;
    options_.generatePNGPreviewImages = false;

    const RescueResult result = rescue(archive, temporary_.filePath("in"));
    ASSERT_EQ(result.errorMessage, std::nullopt) << result.diagnostics.join('\n').toStdString();
    const QString out = temporary_.filePath("out/sub/");
    EXPECT_EQ(result.outputURL, out + "red.svg");
    EXPECT_FALSE(result.isDryRun);
    EXPECT_EQ(unused.browserProcessId(), 0);
    EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({"red.svg", "red_images", "red_missing-fonts.txt"}));
    EXPECT_TRUE(readFile(out + "red.svg").contains("fill:rgb(255 0 0)"));
    EXPECT_EQ(readFile(out + "red_images/a.png"), "a");
    EXPECT_EQ(readFile(out + "red_images/b.jpg"), "b");
    EXPECT_TRUE(readFile(out + "red_missing-fonts.txt").contains("\nNoSuchFont-Bold\n"));
    EXPECT_EQ(temporaryEntries(), temporaryEntriesBefore_);

    // Without overwriting, the SVG already there fails the next rescue before it unpacks.
    const RescueResult refused = rescue(archive, temporary_.filePath("in"));
    EXPECT_EQ(refused.errorMessage, "Destination file already exists: " + out +
                                        "red.svg. Turn on “Overwrite destination files” to "
                                        "replace it.");
    EXPECT_EQ(fact(refused.diagnostics, "unpack command"), "<absent>");
}

TEST_F(DrawingRescueTest, ExistingPreviewIsReplacedOnlyWhenAllowed) {
    const QString archive = writeArchive("red.idraw", {fileEntry("data.xml", kRedSquare)});
    ASSERT_EQ(rescue(archive).errorMessage, std::nullopt);
    const QString preview = temporary_.filePath("out/red.png");

    const RescueResult refused = rescue(archive);
    EXPECT_EQ(refused.errorMessage, "Destination file already exists: " + preview +
                                        ". Turn on “Overwrite destination files” to replace it.");
    EXPECT_EQ(fact(refused.diagnostics, "failed stage"), "preparing the destination");
    EXPECT_EQ(fact(refused.diagnostics, "overwrite allowed"), "no");
    EXPECT_EQ(refused.outputURL, std::nullopt);
    EXPECT_EQ(refused.embeddedImageCount, 0);
    EXPECT_FALSE(refused.isDryRun);

    QFile::resize(preview, 3);
    options_.overwriteDestinationFiles = true;
    ASSERT_EQ(rescue(archive).errorMessage, std::nullopt);
    EXPECT_FALSE(QImage(preview).isNull());
}

TEST_F(DrawingRescueTest, LogsEveryFactUpToAMissingDocument) {
    const QString archive = writeArchive("empty.idraw", {fileEntry("notes.txt", "hello")});
    const RescueResult result = rescue(archive);
    EXPECT_EQ(result.errorMessage, "This Graphic/iDraw file does not contain data.xml.");
    const QStringList found = labels(result.diagnostics);
    const QStringList expectedOrder =
        QString(
            "attempted|source|source state|destination|png preview images enabled|"
            "preview image destination|overwrite allowed|unpack command|unpack result|"
            "unpacked entries|failed stage|error type|error message|error domain/code")
            .split(u'|');
    qsizetype position = -1;
    for (const QString& label : expectedOrder) {
        const qsizetype at = found.indexOf(label);
        EXPECT_GT(at, position) << label.toStdString();
        position = at;
    }
    EXPECT_EQ(found.last(), "error domain/code");
    EXPECT_EQ(fact(result.diagnostics, "failed stage"), "reading data.xml");
    EXPECT_EQ(fact(result.diagnostics, "error domain/code"), "Vellix.RescueError / 5");
    EXPECT_EQ(fact(result.diagnostics, "png preview images enabled"), "yes");
    EXPECT_EQ(fact(result.diagnostics, "preview image destination"),
              temporary_.filePath("out/empty.png"));
    EXPECT_EQ(temporaryEntries(), temporaryEntriesBefore_);
}

TEST_F(DrawingRescueTest, DocumentsThatAreNoDrawings) {
    const RescueResult list =
        rescue(writeArchive("list.idraw", {fileEntry("data.xml", plist("<array/>"))}));
    EXPECT_EQ(list.errorMessage, "This Graphic/iDraw file contains an unsupported property list.");
    EXPECT_EQ(fact(list.diagnostics, "failed stage"), "parsing the document");
    EXPECT_EQ(fact(list.diagnostics, "plist format"), "<absent>");

    const RescueResult garbage =
        rescue(writeArchive("garbage.idraw", {fileEntry("data.xml", "\x01\x02{<<")}));
    EXPECT_EQ(garbage.errorMessage,
              "The data couldn’t be read because it isn’t in the correct format.");
    EXPECT_EQ(fact(garbage.diagnostics, "error domain/code"), "NSCocoaErrorDomain / 3840");
    EXPECT_EQ(fact(garbage.diagnostics, "data.xml size"), "5 bytes");

    const RescueResult folder = rescue(
        writeArchive("folder.idraw", {folderEntry("data.xml/"), fileEntry("data.xml/inner", "x")}));
    EXPECT_EQ(fact(folder.diagnostics, "failed stage"), "reading data.xml");
    EXPECT_TRUE(
        folder.errorMessage->endsWith("/data.xml” is a folder, not a file, so it cannot "
                                      "be read."))
        << folder.errorMessage->toStdString();

    const QString damagedPath =
        writeFile(temporary_.filePath("damaged.idraw"),
                  zipBytes({fileEntry("data.xml", kRedSquare)}).chopped(40));
    const RescueResult damaged = rescue(damagedPath);
    EXPECT_EQ(fact(damaged.diagnostics, "failed stage"), "unpacking the archive");
    EXPECT_EQ(temporaryEntries(), temporaryEntriesBefore_);
}

TEST_F(DrawingRescueTest, DocumentFactsAndAnEmptyDrawing) {
    const QByteArray versionNumber = plist("<dict><key>Version</key><integer>3</integer></dict>");
    const RescueResult result =
        rescue(writeArchive("bare.idraw", {fileEntry("data.xml", versionNumber)}));
    ASSERT_EQ(result.errorMessage, std::nullopt);

    // Diagnostics are kept for failures only: a renderer without a browser shows every fact
    // the rescue logged before it rendered.
    SVGPreviewImageRenderer noBrowser;
    noBrowser.setBrowserExecutable(temporary_.filePath("no-such-browser"));
    previewRenderer_ = &noBrowser;
    const RescueResult logged =
        rescue(writeArchive("logged.idraw", {fileEntry("data.xml", versionNumber)}));
    EXPECT_EQ(fact(logged.diagnostics, "layers"), "0");
    EXPECT_EQ(fact(logged.diagnostics, "document version"), "<absent>");
    EXPECT_EQ(fact(logged.diagnostics, "plist format"), "xml");
    EXPECT_TRUE(fact(logged.diagnostics, "svg size").endsWith(" bytes, 0 defs"));
    EXPECT_EQ(fact(logged.diagnostics, "embedded images"), "<absent>");

    const RescueResult versioned = rescue(writeArchive(
        "versioned.idraw",
        {fileEntry("data.xml", plist("<dict><key>Version</key><string>2.5</string></dict>"))}));
    EXPECT_EQ(fact(versioned.diagnostics, "document version"), "2.5");
}

TEST_F(DrawingRescueTest, DestinationAndWritingFailures) {
    const QString archive = writeArchive("red.idraw", {fileEntry("data.xml", kRedSquare)});
    QFile blocker(temporary_.filePath("file"));
    blocker.open(QIODevice::WriteOnly);
    options_.outputFolder = temporary_.filePath("file/out");
    const RescueResult noFolder = rescue(archive);
    EXPECT_EQ(fact(noFolder.diagnostics, "failed stage"), "preparing the destination");
    EXPECT_TRUE(noFolder.errorMessage->startsWith("Could not create the folder"));

    options_.outputFolder = temporary_.filePath("out");
    options_.overwriteDestinationFiles = true;
    QDir().mkpath(temporary_.filePath("out/red.png"));  // a folder where the image should go
    const RescueResult cannotWrite = rescue(archive);
    EXPECT_EQ(fact(cannotWrite.diagnostics, "failed stage"), "writing the PNG preview image");
    EXPECT_TRUE(fact(cannotWrite.diagnostics, "preview image size").endsWith(" bytes"));
    EXPECT_EQ(temporaryEntries(), temporaryEntriesBefore_);
}

TEST_F(DrawingRescueTest, WhatIsNoFileFailsAtOnce) {
    const QString pipe = temporary_.filePath("pipe.idraw");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString folder = temporary_.filePath("folder.idraw");
    QDir().mkpath(folder);
    QElapsedTimer clock;
    clock.start();
    for (const auto& [path, kind] :
         {std::pair{pipe, "a named pipe (FIFO)"}, {folder, "a folder"}}) {
        const RescueResult result = rescue(path);
        EXPECT_EQ(result.errorMessage,
                  QStringLiteral("“%1” is %2, not a file, so it cannot be read.").arg(path, kind));
        EXPECT_EQ(fact(result.diagnostics, "failed stage"), "unpacking the archive");
    }
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(temporaryEntries(), temporaryEntriesBefore_);
}

TEST_F(DrawingRescueTest, RenderingFailureIsRecordedOnce) {
    SVGPreviewImageRenderer noBrowser;
    noBrowser.setBrowserExecutable(temporary_.filePath("no-such-browser"));
    previewRenderer_ = &noBrowser;
    const RescueResult result =
        rescue(writeArchive("red.idraw", {fileEntry("data.xml", kRedSquare)}));
    ASSERT_NE(result.errorMessage, std::nullopt);
    EXPECT_EQ(result.diagnostics.filter("failed stage: ").size(), 1);
    EXPECT_EQ(fact(result.diagnostics, "failed stage"), "rendering the PNG preview image");
    EXPECT_FALSE(QFile::exists(temporary_.filePath("out/red.png")));
}

TEST_F(DrawingRescueTest, DrawingPastTheSVGBudgetFailsCleanly) {
    // Two distinct images in fills: 8 base64 characters each, past a budget of 12.
    QByteArray fills;
    for (const char* name : {"a.png", "b.png", "a.png"}) {
        fills += QByteArray(
                     "<dict><key>ShapeType</key><string>PathShape</string>"
                     "<key>Path</key><string>M 0 0 L 9 9</string><key>Appearance</key>"
                     "<array><dict><key>Type</key><string>Fill</string><key>FillType</key>"
                     "<integer>3</integer><key>FillImage</key><dict><key>Name</key><string>") +
                 name + "</string></dict></dict></array></dict>";
    }
    const QByteArray document = plist(
        "<dict><key>Layers</key><array><dict><key>Shapes</key>"
        "<array>" +
        fills + "</array></dict></array></dict>");
    const QString archive = writeArchive(
        "images.idraw", {fileEntry("data.xml", document), fileEntry("Images/a.png", "aaaa"),
                         fileEntry("Images/b.png", "bbbb")});
    converter_.setSVGTextBudget(12);

    const RescueResult result = rescue(archive);
    EXPECT_EQ(result.errorMessage,
              "The drawing’s SVG would be larger than 12 bytes, which is "
              "more than Keelwick builds for one drawing.");
    EXPECT_EQ(fact(result.diagnostics, "failed stage"), "building the SVG");
    EXPECT_EQ(fact(result.diagnostics, "error domain/code"), "Keelwick.Conversion / 1");
    EXPECT_FALSE(QFile::exists(temporary_.filePath("out/images.png")));
    EXPECT_EQ(temporaryEntries(), temporaryEntriesBefore_);

    // Within the budget the same drawing is rescued.
    converter_.setSVGTextBudget(kSVGTextBudget);
    EXPECT_EQ(rescue(archive).errorMessage, std::nullopt);
}

TEST(RunFolder, IsMadeOnFirstUsePrivateToThisRunAndHoldsTheWorkFolders) {
    TemporaryFolderScope temporary;
    EXPECT_EQ(temporary.leftovers(), QStringList());  // nothing is made before it is needed
    const QString folder = RunFolder::path();
    const QFileInfo info(folder);
    EXPECT_EQ(info.absolutePath(), QFileInfo(temporary.path()).absoluteFilePath());
    EXPECT_TRUE(QRegularExpression("^Keelwick-[A-Za-z0-9]{6}$").match(info.fileName()).hasMatch())
        << folder.toStdString();
    struct stat status {};
    ASSERT_EQ(::lstat(QFile::encodeName(folder).constData(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(status.st_mode & 07777, 0700u);
    EXPECT_EQ(status.st_uid, ::geteuid());
    EXPECT_EQ(RunFolder::path(), folder);

    const QString name = RunFolder::newPath("listing-", ".txt");
    EXPECT_TRUE(name.startsWith(folder + "/listing-") && name.endsWith(".txt"));
    EXPECT_NE(RunFolder::newPath("listing-", ".txt"), name);
    {
        WorkFolder work;
        ASSERT_FALSE(work.create());
        EXPECT_EQ(QFileInfo(work.path()).absolutePath(), folder);
        EXPECT_TRUE(QFileInfo(work.path()).isDir());
    }
    EXPECT_EQ(temporary.leftovers(), QStringList());

    // Removed, it is made anew, under a new name, on the next use.
    RunFolder::remove();
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_NE(RunFolder::path(), folder);
}

TEST(RunFolder, WithoutAFolderForItNothingIsMadeAndTheWorkFolderSaysWhy) {
    TemporaryFolderScope temporary;
    const QByteArray missing = QFile::encodeName(temporary.path() + "/missing");
    qputenv("TMPDIR", missing);
    RunFolder::remove();
    std::error_code error;
    EXPECT_EQ(RunFolder::path(&error), QString());
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
    EXPECT_EQ(RunFolder::newPath("x-"), QString());
    WorkFolder work;
    EXPECT_EQ(work.create(), std::errc::no_such_file_or_directory);
    EXPECT_TRUE(work.path().startsWith(temporary.path() + "/missing/Keelwick-XXXXXX/"));
    EXPECT_EQ(temporary.leftovers(), QStringList());
}

TEST(RunFolder, RemovalTakesAllThatIsInsideAndNothingOutside) {
    QTemporaryDir outside;
    TemporaryFolderScope temporary;
    QDir(outside.path()).mkpath("kept");
    QFile kept(outside.filePath("kept/file"));
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.close();

    // Removed at the program's end, and from the handler of a signal that ends it at once.
    using Removal = void (*)();
    for (const Removal removal :
         {Removal(&RunFolder::remove), Removal(&RunFolder::removeFromSignalHandler)}) {
        const QDir folder(RunFolder::path());
        ASSERT_TRUE(folder.mkpath("a/b/c/d"));
        for (int index = 0; index < 300; ++index) {  // more than one read of the folder
            QFile(folder.filePath(QString("a/b/file %1").arg(index))).open(QIODevice::WriteOnly);
        }
        QFile(folder.filePath("a/b/c/d/file")).open(QIODevice::WriteOnly);
        QFile::link(outside.filePath("kept"), folder.filePath("a/folder link"));
        QFile::link(outside.filePath("kept/file"), folder.filePath("a/b/file link"));
        ::chmod(QFile::encodeName(folder.filePath("a/b/c")).constData(), 0500);
        ::chmod(QFile::encodeName(folder.filePath("a/b/c/d")).constData(), 0);

        removal();
        EXPECT_FALSE(QFileInfo::exists(folder.path()));
        EXPECT_TRUE(QFileInfo(outside.filePath("kept/file")).isFile());
        EXPECT_EQ(temporary.leftovers(), QStringList());
    }
}
