// The review dialog at the scale of a whole archive: how long the window takes to show a
// change, and how much memory it keeps, for 10,000 drawings in 1,000 folders.
//
// Usage: bench_review_scale [drawings]              timings (default 10000)
//        bench_review_scale --memory [drawings]     peak memory after a real analysis
//
// Timings: the real window (offscreen) over a model whose scan and analysis are fakes that
// answer at once: ten drawings per folder, every seventh with missing fonts, every
// thirteenth that cannot be inspected, each with a small stored picture. Each step is timed
// from the call to the first frame drawn after it, five times; the median and the slowest are
// printed. Target: every step under 100 ms.
//
// Memory: one generated drawing (a 250 kB stored JPEG and a data.xml naming a font) is
// hard-linked ten times into each of the folders, and the window analyses them all with the
// standard services (the unzip tool, the real font catalogue), then opens the review. The
// peak resident set of the process (VmHWM) is printed. Target: under 500 MB at 10,000.
//
// A plain timed program rather than a Google Benchmark fixture: each step needs the window's
// event loop to draw its frame.

#include "ui/DesktopWindow.h"

#include <QtQml/qqmlextensionplugin.h>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <functional>

Q_IMPORT_QML_PLUGIN(KeelwickPlugin)

using namespace keelwick;

namespace {

constexpr int kDrawingsPerFolder = 10;

QByteArray jpeg(QSize size, int quality, bool noisy) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(30, 90, 160));
    if (noisy) {
        QRandomGenerator random(7);
        for (int y = 0; y < size.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                line[x] = random.generate() | 0xff000000;
            }
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

QString folderName(int index) {
    return QStringLiteral("Folder %1").arg(index / kDrawingsPerFolder, 4, 10, QLatin1Char('0'));
}

QString drawingName(int index) {
    return QStringLiteral("Drawing %1.idraw").arg(index, 5, 10, QLatin1Char('0'));
}

/// Waits until the window has drawn a frame after now; false when none came within
/// `timeout` ms (the software renderer draws nothing when nothing changed).
bool waitForFrame(QQuickWindow* window, int timeout = 5000) {
    bool drawn = false;
    const QMetaObject::Connection connection =
        QObject::connect(window, &QQuickWindow::frameSwapped, [&] { drawn = true; });
    window->requestUpdate();
    QElapsedTimer waited;
    waited.start();
    while (!drawn && waited.elapsed() < timeout) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QObject::disconnect(connection);
    return drawn;
}

void waitUntil(const std::function<bool()>& done) {
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

/// Times `step` to the frame after it, five times (each after `reset`).
void time(const char* name, QQuickWindow* window, const std::function<void()>& step,
          const std::function<void()>& reset) {
    std::vector<double> times;
    for (int round = 0; round < 5; ++round) {
        reset();
        waitForFrame(window, 300);  // settled, whether or not the reset changed anything
        QElapsedTimer timer;
        timer.start();
        step();
        if (!waitForFrame(window)) {
            std::printf("| %s | no frame drawn | |\n", name);
            return;
        }
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("| %s | %.1f ms | %.1f ms |\n", name, times[2], times.back());
}

int timings(int count) {
    const QByteArray picture = jpeg(QSize(400, 300), 80, false);
    RescueViewModel::Services services = RescueViewModel::Services::standard();
    services.installedFonts = [] { return InstalledFonts{}; };
    services.scan = [count](const QStringList&) {
        ScanFindings findings;
        for (int index = 0; index < count; ++index) {
            findings.candidates.append(RescueCandidate(
                QStringLiteral("/archive/") + folderName(index) + u'/' + drawingName(index),
                QStringLiteral("/archive")));
        }
        return findings;
    };
    services.previewMetadata = [picture](const QString& path, const InstalledFonts&) {
        const int index = QFileInfo(path).baseName().section(u' ', 1).toInt();
        PreviewMetadata metadata{picture, index % 4, {}, {}};
        if (index % 7 == 0) {
            metadata.missingFonts = {QStringLiteral("Font %1").arg(index % 50)};
        }
        if (index % 13 == 0) {
            metadata.fontInspectionError = QStringLiteral("This drawing cannot be read.");
        }
        return metadata;
    };
    services.rescueDrawing = [](const RescueCandidate& candidate, const RescueOptions&) {
        RescueResult result;
        result.sourceURL = candidate.url;
        result.outputURL = candidate.url + QStringLiteral(".svg");
        result.missingFonts = candidate.missingFonts;
        return result;
    };
    DesktopWindow desktop(services);
    if (!desktop.show()) {
        return 1;
    }
    QQuickWindow* window = desktop.window();
    RescueViewModel& model = desktop.model();
    QElapsedTimer analysis;
    analysis.start();
    desktop.choose({QStringLiteral("/archive")});
    waitUntil([&] { return !model.isLoadingSelectionPreview(); });
    std::printf("%d drawings in %d folders, analysed by the fakes in %.1f s\n\n",
                int(model.candidates().size()), count / kDrawingsPerFolder,
                analysis.nsecsElapsed() / 1e9);

    ReviewTreeModel& review = desktop.reviewTree();
    std::printf("| Step | Median | Slowest |\n|---|---|---|\n");
    time(
        "Open the review", window, [&] { model.setShowsSelectionPreview(true); },
        [&] { model.setShowsSelectionPreview(false); });
    time(
        "Switch to \"Needs attention\"", window, [&] { review.setFilter(2); },
        [&] { review.setFilter(0); });
    time(
        "Switch back to \"All\"", window, [&] { review.setFilter(0); },
        [&] { review.setFilter(2); });
    time(
        "\"Deselect Visible\" under \"Font problems\"", window,
        [&] { review.setShownSelected(false); },
        [&] {
            review.setFilter(1);
            review.setShownSelected(true);
        });
    review.setFilter(0);
    time(
        "\"Deselect All\"", window, [&] { review.setShownSelected(false); },
        [&] { review.setShownSelected(true); });
    time(
        "Toggle a folder's checkbox", window, [&] { review.toggle(0); }, [] {});
    time(
        "Toggle one drawing's checkbox", window, [&] { review.toggle(1); }, [] {});
    time(
        "Close and open a folder", window,
        [&] {
            review.setExpanded(0, false);
            review.setExpanded(0, true);
        },
        [] {});

    // The report of a run over every drawing, and its missing fonts.
    review.setShownSelected(true);
    model.setShowsSelectionPreview(false);
    QTemporaryDir destination;
    model.useOutputFolder(destination.path());
    model.rescue();
    waitUntil([&] { return desktop.state().showsRescueReport(); });
    time(
        "Open the report", window, [&] { desktop.state().setShowsRescueReport(true); },
        [&] { desktop.state().setShowsRescueReport(false); });
    time(
        "List the report's missing fonts", window, [&] { desktop.fontList().showResults(); },
        [] {});
    return 0;
}

qint64 peakResidentKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').front().toLongLong();
        }
    }
    return -1;
}

/// A drawing with `picture` stored; its path, or empty when it could not be made.
QByteArray drawingArchive(const QByteArray& picture, const QString& folder) {
    // The unzip tool makes the archive, so that it is what a real drawing is: a zip file.
    QDir(folder).mkpath(QStringLiteral("parts/QuickLook"));
    QFile::remove(folder + QStringLiteral("/drawing.idraw"));
    QFile preview(folder + QStringLiteral("/parts/QuickLook/Preview.jpg"));
    preview.open(QIODevice::WriteOnly);
    preview.write(picture);
    preview.close();
    QFile data(folder + QStringLiteral("/parts/data.xml"));
    data.open(QIODevice::WriteOnly);
    data.write(
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Layers</key><array>"
        "<dict><key>Shapes</key><array><dict><key>FontName</key><string>Archive Sans"
        "</string></dict></array></dict></array></dict></plist>");
    data.close();
    const QString command =
        QStringLiteral("cd '%1/parts' && zip -q -0 -r ../drawing.idraw .").arg(folder);
    if (std::system(command.toUtf8().constData()) != 0) {
        return {};
    }
    return folder.toUtf8() + "/drawing.idraw";
}

int memory(int count) {
    QTemporaryDir root;
    const QByteArray picture = jpeg(QSize(512, 384), 97, true);
    const QByteArray archive = drawingArchive(picture, root.filePath(QStringLiteral("source")));
    if (archive.isEmpty()) {
        std::fprintf(stderr, "could not make the drawing (is zip installed?)\n");
        return 1;
    }
    const QString drawings = root.filePath(QStringLiteral("archive"));
    for (int index = 0; index < count; ++index) {
        const QString folder = drawings + u'/' + folderName(index);
        QDir().mkpath(folder);
        if (::link(archive.constData(), (folder + u'/' + drawingName(index)).toUtf8()) != 0) {
            std::perror("link");
            return 1;
        }
    }
    std::printf("%d drawings in %d folders, each with a stored picture of %lld bytes\n", count,
                count / kDrawingsPerFolder, static_cast<long long>(picture.size()));
    const qint64 before = peakResidentKilobytes();
    DesktopWindow desktop;
    if (!desktop.show()) {
        return 1;
    }
    QElapsedTimer analysis;
    analysis.start();
    desktop.choose({drawings});
    waitUntil([&] { return !desktop.model().isLoadingSelectionPreview(); });
    waitForFrame(desktop.window());
    const bool analysed =
        desktop.model().candidates().size() == count &&
        std::all_of(desktop.model().candidates().begin(), desktop.model().candidates().end(),
                    [](const RescueCandidate& candidate) {
                        return candidate.storedPicture && !candidate.missingFonts.isEmpty();
                    });
    std::printf("analysed in %.0f s; peak resident memory %.0f MB (%.0f MB before the window)\n",
                analysis.nsecsElapsed() / 1e9, peakResidentKilobytes() / 1024.0, before / 1024.0);
    return analysed ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    DesktopWindow::setUpApplication();
    const QStringList arguments = application.arguments().mid(1);
    const bool measuresMemory = arguments.contains(QStringLiteral("--memory"));
    QStringList counts = arguments;
    counts.removeAll(QStringLiteral("--memory"));
    const int count = counts.isEmpty() ? 10000 : counts.front().toInt();
    return measuresMemory ? memory(count) : timings(count);
}
