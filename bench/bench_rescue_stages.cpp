// Per-stage times of the rescue for every example drawing: open (unpack and parse), build,
// render, PNG encoding and write, each the median of several runs. Prints one table.
//
//   build/bench/bench_rescue_stages [examples-folder] [runs]

#include "pipeline/DiagnosticsLog.h"
#include "pipeline/MemoryTuning.h"
#include "pipeline/OpenedDrawing.h"
#include "pipeline/SVGPreviewImageRenderer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

using namespace keelwick;

namespace {

const QStringList kStages{"open", "build", "render", "png encoding", "write"};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

/// One run of every stage over one drawing; milliseconds per stage, or empty when the
/// drawing does not rescue.
std::map<QString, double> timeStages(const QString& archive, const QString& outputFolder) {
    std::map<QString, double> times;
    QElapsedTimer timer;

    timer.start();
    DiagnosticsLog log;
    const Outcome<OpenedDrawing, StageError> opened = OpenedDrawing::openArchive(archive, log);
    const auto* drawing = std::get_if<OpenedDrawing>(&opened);
    if (!drawing) {
        return {};
    }
    times["open"] = timer.nsecsElapsed() / 1e6;

    timer.restart();
    const Outcome<QString> built = drawing->buildSVG();
    times["build"] = timer.nsecsElapsed() / 1e6;
    if (errorOf(built)) {
        return {};
    }
    const QString& svg = std::get<QString>(built);

    timer.restart();
    auto rendered = SVGPreviewImageRenderer::shared().render(svg, 1200);
    times["render"] = timer.nsecsElapsed() / 1e6;
    if (errorOf(rendered)) {
        return {};
    }
    const QByteArray& png = std::get<QByteArray>(rendered);

    // The renderer encodes inside its render; encoding the same image again gives its share.
    const QImage image = QImage::fromData(png, "PNG");
    timer.restart();
    SVGPreviewImageRenderer::whiteBackedPNGData(image, image.size());
    times["png encoding"] = timer.nsecsElapsed() / 1e6;

    timer.restart();
    QSaveFile file(QDir(outputFolder).filePath(QFileInfo(archive).completeBaseName() + ".png"));
    file.open(QIODevice::WriteOnly);
    file.write(png);
    file.commit();
    times["write"] = timer.nsecsElapsed() / 1e6;
    return times;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    keepMemoryBetweenDrawings();
    QGuiApplication application(argc, argv);
    const QString examples = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                      : QStringLiteral(KEELWICK_SOURCE_DIR "/examples");
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 10;
    QTemporaryDir output;

    std::printf("%-24s", "drawing (ms, median)");
    for (const QString& stage : kStages) {
        std::printf(" %12s", qPrintable(stage));
    }
    std::printf(" %14s\n", "all but render");
    const QStringList drawings = QDir(examples).entryList({"*.idraw"}, QDir::Files, QDir::Name);
    for (const QString& name : drawings) {
        std::map<QString, std::vector<double>> samples;
        for (int run = 0; run < runs; ++run) {
            for (const auto& [stage, milliseconds] :
                 timeStages(QDir(examples).filePath(name), output.path())) {
                samples[stage].push_back(milliseconds);
            }
        }
        std::printf("%-24s", qPrintable(name));
        if (samples.empty()) {
            std::printf(" does not rescue (expected for a damaged example)\n");
            continue;
        }
        double allButRender = 0;
        for (const QString& stage : kStages) {
            const double value = median(samples[stage]);
            allButRender += stage == QLatin1StringView("render") ? 0 : value;
            std::printf(" %12.2f", value);
        }
        std::printf(" %14.2f\n", allButRender);
    }
    return 0;
}
