// The files a rescue run writes for one drawing: names made safe, the overwrite rule, all or
// nothing when a write fails, and the missing-font note.

#include "pipeline/RescueOutputs.h"
#include "support/Files.h"
#include "support/WriteFailures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <csignal>

namespace keelwick {
namespace {

using testing::contents;
using testing::readFile;
using testing::writeFile;

/// A drawing's unpacked images and the outputs of its rescue into `out`.
struct Drawing {
    QTemporaryDir folder;
    QString images() const { return folder.filePath(QStringLiteral("work/Images")); }
    QString out() const { return folder.filePath(QStringLiteral("out")); }
    RescueOutputs outputs;

    Drawing() {
        writeFile(images() + "/logo.png", "PNG bytes");
        writeFile(images() + "/Logo.png", "other PNG bytes");  // the same name on a FAT drive
        writeFile(images() + "/scan\x01.tiff", "TIFF bytes");
        writeFile(images() + "/.DS_Store", "junk");
        QFile::link(QStringLiteral("/etc/hostname"), images() + "/link.png");
        outputs.svgPath = out() + "/Plan.svg";
        outputs.svg = "<svg/>";
        outputs.png = QByteArray(5000, 'p');
        outputs.imagesFolder = images();
        outputs.fontNote = "note\n";
    }
};

TEST(SafeFileName, KeepsNamesInsideTheirFolderVisibleAndShort) {
    const struct {
        QString name;
        QString safe;
    } cases[] = {
        {"photo 1.JPG", "photo 1.JPG"},
        {"../x.png", "___x.png"},
        {"/etc/passwd", "_etc_passwd"},
        {"a\x01\x7f"
         "b.png",
         "a__b.png"},
        {"..", "__"},
        {"", "image"},
        {".hidden.png", "_hidden.png"},
        {QString(300, u'a') + ".png", QString(251, u'a') + ".png"},
    };
    for (const auto& [name, safe] : cases) {
        EXPECT_EQ(safeFileName(name), safe) << name.toStdString();
    }
}

TEST(RescueOutputs, WritesEveryFileAndTheOriginalImagesUnderSafeUniqueNames) {
    Drawing drawing;
    const auto written = writeRescueOutputs(drawing.outputs, false);
    ASSERT_TRUE(std::holds_alternative<QList<WrittenOutput>>(written));
    EXPECT_EQ(contents(drawing.out()),
              QStringList({"Plan.png", "Plan.svg", "Plan_images", "Plan_missing-fonts.txt"}));
    EXPECT_EQ(readFile(drawing.out() + "/Plan.svg"), "<svg/>");
    EXPECT_EQ(readFile(drawing.out() + "/Plan_missing-fonts.txt"), "note\n");
    const QString images = drawing.out() + "/Plan_images";
    // No hidden file, no link followed, and two names that differ only in case kept apart.
    EXPECT_EQ(contents(images), QStringList({"Logo.png", "logo (2).png", "scan_.tiff"}));
    EXPECT_EQ(readFile(images + "/logo (2).png"), "PNG bytes");
    EXPECT_EQ(readFile(images + "/scan_.tiff"), "TIFF bytes");
    const QList<WrittenOutput>& list = std::get<QList<WrittenOutput>>(written);
    ASSERT_EQ(list.size(), 4);
    EXPECT_EQ(list[2].path, images);
    EXPECT_EQ(list[2].bytes, 9 + 15 + 10);
}

TEST(RescueOutputs, AnExistingTargetFailsTheDrawingUnlessOverwritingIsOn) {
    Drawing drawing;
    writeFile(drawing.out() + "/Plan_images/stale.png", "old");
    writeFile(drawing.out() + "/Plan.svg", "old svg");

    const auto refused = writeRescueOutputs(drawing.outputs, false);
    ASSERT_TRUE(std::holds_alternative<PipelineError>(refused));
    EXPECT_EQ(std::get<PipelineError>(refused).description,
              "Destination file already exists: " + drawing.out() +
                  "/Plan.svg. Turn on “Overwrite destination files” to replace it.");
    EXPECT_EQ(contents(drawing.out()), QStringList({"Plan.svg", "Plan_images"}));

    ASSERT_TRUE(
        std::holds_alternative<QList<WrittenOutput>>(writeRescueOutputs(drawing.outputs, true)));
    EXPECT_EQ(readFile(drawing.out() + "/Plan.svg"), "<svg/>");
    // The folder is replaced as a whole: the stale image is gone.
    EXPECT_FALSE(QFile::exists(drawing.out() + "/Plan_images/stale.png"));
    EXPECT_EQ(contents(drawing.out()),
              QStringList({"Plan.png", "Plan.svg", "Plan_images", "Plan_missing-fonts.txt"}));
}

TEST(RescueOutputs, AWriteThatFailsPartWayLeavesTheEarlierFilesAsTheyWere) {
    Drawing drawing;
    writeFile(drawing.out() + "/Plan.svg", "old svg");
    writeFile(drawing.out() + "/Plan.png", "old png");
    // A file-size limit makes the 5,000-byte preview fail after the SVG was written, as a full
    // disk would, for any user.
    const auto failed = [&] {
        const testing::FileSizeLimit limit(1000);
        return writeRescueOutputs(drawing.outputs, true);
    }();
    ASSERT_TRUE(std::holds_alternative<PipelineError>(failed));
    EXPECT_TRUE(std::get<PipelineError>(failed).description.startsWith(
        "Could not write “" + drawing.out() + "/Plan.png”: "));
    EXPECT_EQ(contents(drawing.out()), QStringList({"Plan.png", "Plan.svg"}));
    EXPECT_EQ(readFile(drawing.out() + "/Plan.svg"), "old svg");
    EXPECT_EQ(readFile(drawing.out() + "/Plan.png"), "old png");
}

TEST(MissingFontNote, NamesEachFontWithItsSearchAddressesAndTheDrawing) {
    EXPECT_EQ(missingFontNote({"Zapfino-Regular"}, "/art/Plan.idraw"),
              "Fonts this drawing uses that are not installed on this computer. Install them, "
              "then open the SVG again.\n"
              "Drawing: /art/Plan.idraw\n"
              "\n"
              "Zapfino-Regular\n"
              "  Google Fonts: https://fonts.google.com/?query=Zapfino\n"
              "  MyFonts: https://www.myfonts.com/search?query=Zapfino\n"
              "  Adobe Fonts: https://fonts.adobe.com/search?query=Zapfino\n");
}

}  // namespace
}  // namespace keelwick
