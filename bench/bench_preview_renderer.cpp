// PNG previews through one reused headless browser against one browser run per preview.
//
// Renders one realistic drawing (gradients, a drop shadow, an embedded image, a few hundred
// curved paths and some text, 1000 × 750 points) N times through SVGPreviewImageRenderer,
// counting the start of its browser, then takes N screenshots of the very same page with
// separate "chromium --headless --screenshot" runs, and prints both times and their ratio.
// The reused browser must be at least 4 times faster; the program exits with 1 when it is not.
//
// Usage: bench_preview_renderer [N]   (N defaults to 50)
//
// A plain timed program rather than a Google Benchmark fixture: the figure that matters is
// the ratio of two long runs measured side by side, not a per-iteration statistic.

#include "pipeline/HeadlessBrowser.h"
#include "pipeline/SVGPreviewImageRenderer.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdio>

#include <unistd.h>

using keelwick::HeadlessBrowser;
using keelwick::PipelineError;
using keelwick::SVGPreviewImageRenderer;

namespace {

constexpr double kMaxDimension = 1200;
constexpr double kRequiredSpeedUp = 4;

/// A small photo-like PNG, embedded as the converter embeds image fills.
QString embeddedImage() {
    QImage photo(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y) {
        for (int x = 0; x < photo.width(); ++x) {
            photo.setPixel(x, y, qRgb(x * 255 / 96, y * 255 / 64, (x * y) % 256));
        }
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    photo.save(&buffer, "PNG");
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
}

/// A drawing in the shape the converter writes: definitions first, then one group per layer.
QString realisticDrawing() {
    QString svg = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 1000 750\" width=\"1000\" "
        "height=\"750\">\n"
        "  <title>Rescued from Graphic/iDraw harbour.idraw</title>\n"
        "  <defs>\n"
        "    <linearGradient id=\"gradient-1\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">\n"
        "      <stop offset=\"0\" stop-color=\"rgb(120 180 255)\"/>\n"
        "      <stop offset=\"1\" stop-color=\"rgb(255 255 255)\"/>\n"
        "    </linearGradient>\n"
        "    <radialGradient id=\"gradient-2\" cx=\"0.5\" cy=\"0.5\" r=\"0.5\">\n"
        "      <stop offset=\"0\" stop-color=\"rgb(255 220 80)\"/>\n"
        "      <stop offset=\"1\" stop-color=\"rgb(255 120 0)\" stop-opacity=\"0.6\"/>\n"
        "    </radialGradient>\n"
        "    <filter id=\"filter-3\" x=\"-50%\" y=\"-50%\" width=\"200%\" height=\"200%\">\n"
        "      <feDropShadow dx=\"3\" dy=\"4\" stdDeviation=\"4\" flood-color=\"black\" "
        "flood-opacity=\"0.5\"/>\n"
        "    </filter>\n"
        "    <pattern id=\"image-fill-4\" patternUnits=\"objectBoundingBox\" "
        "patternContentUnits=\"objectBoundingBox\" width=\"1\" height=\"1\">\n"
        "      <image href=\"");
    svg += embeddedImage();
    svg += QStringLiteral(
        "\" x=\"0\" y=\"0\" width=\"1\" height=\"1\" preserveAspectRatio=\"none\" "
        "opacity=\"1\"/>\n"
        "    </pattern>\n"
        "  </defs>\n"
        "  <g id=\"Sky\">\n"
        "    <path d=\"M 0 0 L 1000 0 L 1000 450 L 0 450 Z\" style=\"fill:url(#gradient-1);"
        "stroke:none\"/>\n"
        "    <path d=\"M 780 60 C 840 60 880 100 880 160 C 880 220 840 260 780 260 C 720 260 680 "
        "220 680 160 C 680 100 720 60 780 60 Z\" style=\"fill:url(#gradient-2);stroke:none\" "
        "filter=\"url(#filter-3)\"/>\n"
        "  </g>\n"
        "  <g id=\"Boats\" opacity=\"0.9\">\n");
    for (int i = 0; i < 300; ++i) {
        const int x = (i * 37) % 940;
        const int y = 420 + (i * 53) % 300;
        svg += QStringLiteral(
                   "    <path d=\"M %1 %2 C %3 %4 %5 %4 %6 %2 L %7 %8 Q %9 %10 %11 %8 Z\" "
                   "style=\"fill:rgb(%12 %13 %14);stroke:rgb(20 30 40);stroke-width:1.5;"
                   "fill-opacity:0.85;stroke-linejoin:round\" transform=\"rotate(%15 %1 %2)\"/>\n")
                   .arg(x)
                   .arg(y)
                   .arg(x + 10)
                   .arg(y + 25)
                   .arg(x + 50)
                   .arg(x + 60)
                   .arg(x + 50)
                   .arg(y - 30)
                   .arg(x + 30)
                   .arg(y - 45)
                   .arg(x + 10)
                   .arg((i * 41) % 256)
                   .arg((i * 89) % 256)
                   .arg((i * 131) % 256)
                   .arg((i % 11) - 5);
    }
    svg += QStringLiteral(
        "  </g>\n"
        "  <g id=\"Harbour\">\n"
        "    <path d=\"M 40 600 L 360 600 L 360 720 L 40 720 Z\" style=\"fill:url(#image-fill-4);"
        "stroke:rgb(0 0 0);stroke-width:2\" filter=\"url(#filter-3)\"/>\n");
    for (int i = 0; i < 12; ++i) {
        svg += QStringLiteral(
                   "    <text x=\"%1\" y=\"%2\" style=\"font-family:DejaVu Sans;font-size:%3px;"
                   "fill:rgb(10 10 60)\">Harbour map, sheet %4 of 12</text>\n")
                   .arg(420 + (i % 2) * 280)
                   .arg(560 + (i / 2) * 28)
                   .arg(14 + i % 4)
                   .arg(i + 1);
    }
    svg += QStringLiteral("  </g>\n</svg>\n");
    return svg;
}

/// Seconds for `count` renders through one renderer, its browser's start included.
double timeReusedBrowser(const QString& svg, int count) {
    SVGPreviewImageRenderer renderer;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        const auto outcome = renderer.render(svg, kMaxDimension);
        if (const auto* failed = errorOf(outcome)) {
            std::fprintf(stderr, "render %d failed: %s\n", i + 1, qPrintable(failed->description));
            return -1;
        }
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

/// Seconds for `count` separate browser runs that each screenshot the same page.
double timeSeparateRuns(const QString& browser, const QString& svg, int count) {
    QTemporaryDir folder;
    const QSize size =
        SVGPreviewImageRenderer::pageSize(SVGPreviewImageRenderer::sourceSize(svg), kMaxDimension);
    const QString page = folder.filePath(QStringLiteral("page.html"));
    QFile file(page);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(SVGPreviewImageRenderer::htmlDocument(svg, size).toUtf8()) < 0) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(page));
        return -1;
    }
    file.close();
    const QString screenshot = folder.filePath(QStringLiteral("screenshot.png"));
    // The renderer's own flags; one profile shared by all runs, which only helps them.
    const QStringList arguments =
        HeadlessBrowser::switches() +
        QStringList{QStringLiteral("--user-data-dir=") + folder.filePath("profile"),
                    QStringLiteral("--screenshot=") + screenshot,
                    QStringLiteral("--window-size=%1,%2").arg(size.width()).arg(size.height()),
                    QUrl::fromLocalFile(page).toString()};

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        QFile::remove(screenshot);
        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        run.setStandardErrorFile(QProcess::nullDevice());
        run.start(browser, arguments);
        if (!run.waitForFinished(60'000) || !QFile::exists(screenshot)) {
            std::fprintf(stderr, "browser run %d gave no screenshot\n", i + 1);
            return -1;
        }
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const int count = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 50;

    const auto browser = HeadlessBrowser::findExecutable(QString());
    if (!browser) {
        std::fprintf(stderr, "Chromium is not installed\n");
        return 2;
    }
    const QString svg = realisticDrawing();
    const QSize size =
        SVGPreviewImageRenderer::pageSize(SVGPreviewImageRenderer::sourceSize(svg), kMaxDimension);
    std::printf("drawing: %lld bytes of SVG, %d x %d pixels; %d renders each\n",
                static_cast<long long>(svg.toUtf8().size()), size.width(), size.height(), count);

    const double reused = timeReusedBrowser(svg, count);
    if (reused < 0) {
        return 2;
    }
    std::printf("reused browser (SVGPreviewImageRenderer): %8.2f s  (%7.1f ms per render)\n",
                reused, reused * 1000 / count);
    std::fflush(stdout);

    const double separate = timeSeparateRuns(*browser, svg, count);
    if (separate < 0) {
        return 2;
    }
    std::printf("separate chromium --screenshot runs:      %8.2f s  (%7.1f ms per render)\n",
                separate, separate * 1000 / count);

    const double speedUp = separate / reused;
    std::printf("speed-up: %.2fx (required: at least %.0fx) -> %s\n", speedUp, kRequiredSpeedUp,
                speedUp >= kRequiredSpeedUp ? "met" : "NOT MET");
    return speedUp >= kRequiredSpeedUp ? 0 : 1;
}
