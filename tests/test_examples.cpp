// The bundled example drawings, end to end: each good one rescues to a preview of the size
// its SVG asks for, with its artwork on it; the damaged one fails in the unpacking stage.

#include "pipeline/DrawingRescue.h"
#include "pipeline/SVGPreviewImageRenderer.h"
#include "support/CliRunner.h"
#include "support/QtPrinting.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace keelwick;

namespace {

QString example(const QString& name) {
    return QStringLiteral(KEELWICK_SOURCE_DIR "/examples/") + name;
}

double nonWhiteShare(const QImage& image) {
    qint64 coloured = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            coloured += image.pixel(x, y) != qRgb(255, 255, 255) ? 1 : 0;
        }
    }
    return static_cast<double>(coloured) / (static_cast<double>(image.width()) * image.height());
}

}  // namespace

TEST(Examples, GoodDrawingsRescueToTheirPreviews) {
    QTemporaryDir output;
    RescueOptions options;
    options.outputFolder = output.path();
    QList<RescueResult> results;
    for (const QString name : {"logo-study", "poster", "product-sheet"}) {
        const RescueResult result =
            rescueDrawing(RescueCandidate(example(name + ".idraw")), options);
        ASSERT_EQ(result.errorMessage, std::nullopt) << result.diagnostics.join('\n').toStdString();
        results.append(result);

        // The preview has the size the drawing's own SVG asks for, and its artwork on it.
        const keelwick::testing::CliRun svg =
            keelwick::testing::runCli({"svg", example(name + ".idraw")});
        const QSize expected = SVGPreviewImageRenderer::pageSize(
            SVGPreviewImageRenderer::sourceSize(QString::fromUtf8(svg.standardOutput)), 1200);
        const QImage preview(QDir(output.path()).filePath(name + ".png"));
        EXPECT_EQ(preview.size(), expected) << name.toStdString();
        EXPECT_GT(nonWhiteShare(preview), 0.05) << name.toStdString();
    }
    EXPECT_EQ(results[1].missingFonts.contains("Zapfino-Regular"), true);
    EXPECT_EQ(results[2].embeddedImageCount, 4);
}

TEST(Examples, TheDamagedDrawingFailsToUnpack) {
    QTemporaryDir output;
    RescueOptions options;
    options.outputFolder = output.path();
    const RescueResult result = rescueDrawing(RescueCandidate(example("damaged.idraw")), options);
    EXPECT_EQ(result.errorMessage, "This Graphic/iDraw file could not be opened as an archive.");
    EXPECT_TRUE(result.diagnostics.contains("failed stage: unpacking the archive"));
    EXPECT_FALSE(QFile::exists(QDir(output.path()).filePath("damaged.png")));
}
