// The analysis of one drawing through the unzip tool: entry listing, the choice of the stored
// picture, the image count, the missing fonts and the message when fonts cannot be
// inspected. Archives are written byte by byte so entry names can be anything.

#include "workflow/PreviewMetadata.h"

#include "pipeline/DrawingDocument.h"
#include "support/Files.h"
#include "support/QtPrinting.h"
#include "support/TemporaryFolderScope.h"
#include "support/ZipWriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace keelwick {
namespace {

using testing::fileEntry;
using testing::folderEntry;
using testing::zipBytes;

const QString kInvalidArchive = "This Graphic/iDraw file could not be opened as an archive.";
const QString kMissingDataPlist = "This Graphic/iDraw file does not contain data.xml.";
const QString kUnsupportedPropertyList =
    "This Graphic/iDraw file contains an unsupported property list.";

const QByteArray kFontDocument = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>Layers</key><array><dict><key>Shapes</key><array>
<dict><key>FontName</key><string>HelveticaNeue-Bold</string></dict>
<dict><key>FontName</key><string>Zapfino</string><key>TextSpans</key><array>
<dict><key>FontName</key><string>Avenir-Book</string></dict></array></dict>
</array></dict></array></dict></plist>
)";

// Points QDir::tempPath() at a private folder, so that leftover temporary files show.
class AnalysisFolder {
  public:
    QString write(const QString& name, const QByteArray& bytes) const {
        return testing::writeFile(drawings_.path() + u'/' + name, bytes);
    }
    QStringList leftoverTemporaryFiles() const { return temporary_.leftovers(); }

  private:
    QTemporaryDir drawings_;  // made before TMPDIR changes, so it is no leftover
    testing::TemporaryFolderScope temporary_;
};

TEST(SplitEntryLines, SplitsAtEveryNewlineAndKeepsSpaces) {
    const QString text = QString::fromUtf16(u"a\nb\vc\fd\re\u0085f\u2028g\u2029h\r\n\n i \n");
    EXPECT_EQ(splitEntryLines(text), QStringList({"a", "b", "c", "d", "e", "f", "g", "h", " i "}));
    EXPECT_TRUE(splitEntryLines("\n\n").isEmpty());
}

TEST(PreviewChoice, PrefersPreviewThenQuickLookThenNames) {
    EXPECT_EQ(previewEntryScore("QuickLook/PREVIEW.jpg"), 0);
    EXPECT_EQ(previewEntryScore("QuickLook/Thumbnail.jpg"), 2);
    EXPECT_EQ(previewEntryScore("Images/photo.jpg"), 3);
    EXPECT_TRUE(precedesAsPreview("QuickLook/Thumbnail.jpg", "Images/a.jpg"));
    EXPECT_TRUE(precedesAsPreview("Images/a.jpg", "Images/b.jpg"));
    EXPECT_TRUE(precedesAsPreview("Images/pic9.jpg", "Images/pic10.jpg"));
    // Last components first: z/a.jpg before a/b.jpg; then the whole name.
    EXPECT_TRUE(precedesAsPreview("z/a.jpg", "a/b.jpg"));
    EXPECT_TRUE(precedesAsPreview("a/x.jpg", "b/x.jpg"));
    EXPECT_FALSE(precedesAsPreview("b/x.jpg", "a/x.jpg"));
}

TEST(EmbeddedImageCount, CountsFilesUnderAnyImagesFolder) {
    EXPECT_EQ(embeddedImageCount({"Images/", "images/a.png", "x/images/b.gif"}), 2);
    EXPECT_EQ(embeddedImageCount({"IMAGES/a.png", "imagesfolder/a.png", "data.xml",
                                  "x/myimages/c.png", "Images/sub/"}),
              1);
}

TEST(PreviewMetadata, TakesTheQuickLookPreviewImagesAndMissingFonts) {
    AnalysisFolder folder;
    const QString archive = folder.write(
        "Poster.idraw",
        zipBytes({folderEntry("Images/"), fileEntry("Images/photo.jpg", "photo"),
                  fileEntry("QuickLook/Preview.JPG", "stored picture"),
                  fileEntry("Images/logo.png", "logo"), fileEntry("data.xml", kFontDocument)}));
    const PreviewMetadata metadata =
        previewMetadata(archive, InstalledFonts::fromNames({"Helvetica Neue Bold", "Times"}));
    EXPECT_EQ(metadata.previewJPEGData, QByteArray("stored picture"));
    EXPECT_EQ(metadata.embeddedImageCount, 2);
    // An installed font written with other spacing and case is not missing.
    EXPECT_EQ(metadata.missingFonts, QStringList({"Avenir-Book", "Zapfino"}));
    EXPECT_EQ(metadata.fontInspectionError, std::nullopt);
    EXPECT_EQ(folder.leftoverTemporaryFiles(), QStringList());
}

TEST(PreviewMetadata, ChoosesTheFirstImageByNameAndFindsDataXmlInCapitals) {
    AnalysisFolder folder;
    const QString archive = folder.write(
        "Two.idraw", zipBytes({fileEntry("Images/b.jpeg", "b"), fileEntry("Images/a.jpg", "a"),
                               fileEntry("Drawing/DATA.XML", kFontDocument)}));
    const PreviewMetadata metadata = previewMetadata(archive, InstalledFonts::fromNames({}));
    EXPECT_EQ(metadata.previewJPEGData, QByteArray("a"));
    EXPECT_EQ(metadata.missingFonts, QStringList({"Avenir-Book", "HelveticaNeue-Bold", "Zapfino"}));
    EXPECT_EQ(metadata.fontInspectionError, std::nullopt);
}

TEST(PreviewMetadata, ReportsWhyFontsCannotBeInspected) {
    AnalysisFolder folder;
    const InstalledFonts none = InstalledFonts::fromNames({});

    const PreviewMetadata notZip =
        previewMetadata(folder.write("text.idraw", "just some text, no archive"), none);
    EXPECT_EQ(notZip, (PreviewMetadata{std::nullopt, 0, {}, kInvalidArchive}));
    const PreviewMetadata absent = previewMetadata(folder.write("x", "") + "/absent.idraw", none);
    EXPECT_EQ(absent.fontInspectionError, kInvalidArchive);

    const PreviewMetadata noData = previewMetadata(
        folder.write("nodata.idraw",
                     zipBytes({fileEntry("Images/a.jpg", "a"), fileEntry("data.xml.bak", "")})),
        none);
    EXPECT_EQ(noData, (PreviewMetadata{QByteArray("a"), 1, {}, kMissingDataPlist}));

    const QByteArray garbage = "<plist><dict><key>Layers</key>";
    const PreviewMetadata unreadable = previewMetadata(
        folder.write("bad.idraw", zipBytes({fileEntry("data.xml", garbage)})), none);
    const DrawingDocument parsed = DrawingDocument::parse(garbage);
    ASSERT_FALSE(parsed.succeeded());
    EXPECT_FALSE(parsed.error()->description.isEmpty());
    EXPECT_EQ(unreadable.fontInspectionError, parsed.error()->description);
    EXPECT_TRUE(unreadable.missingFonts.isEmpty());

    const QByteArray arrayRoot = "<plist version=\"1.0\"><array><string>a</string></array></plist>";
    const PreviewMetadata notDictionary = previewMetadata(
        folder.write("array.idraw", zipBytes({fileEntry("data.xml", arrayRoot)})), none);
    EXPECT_EQ(notDictionary.fontInspectionError, kUnsupportedPropertyList);

    // A named pipe is never opened: unzip would wait on it for its whole time-out.
    const QString pipe = folder.write("y", "") + ".idraw";
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(previewMetadata(pipe, none),
              (PreviewMetadata{std::nullopt,
                               0,
                               {},
                               "“" + pipe +
                                   "” is a named pipe (FIFO), not a file, so it cannot be "
                                   "read."}));
    EXPECT_LT(clock.elapsed(), 5000);

    EXPECT_EQ(folder.leftoverTemporaryFiles(), QStringList());
}

TEST(ZipData, ReadsNamesWithWildcardCharactersLiterally) {
    AnalysisFolder folder;
    const QString archive =
        folder.write("drawing [1]*.idraw",
                     zipBytes({fileEntry("Images/*.jpg", "star"), fileEntry("Images/a.jpg", "a"),
                               fileEntry("-p.jpg", "dash")}));
    EXPECT_EQ(zipEntries(archive), QStringList({"Images/*.jpg", "Images/a.jpg", "-p.jpg"}));
    EXPECT_EQ(zipData(archive, "Images/*.jpg"), QByteArray("star"));
    EXPECT_EQ(zipData(archive, "-p.jpg"), QByteArray("dash"));
    EXPECT_EQ(zipData(archive, "Images/none.jpg"), std::nullopt);
    EXPECT_EQ(folder.leftoverTemporaryFiles(), QStringList());
}

}  // namespace
}  // namespace keelwick
