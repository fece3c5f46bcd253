// How long the desktop window takes to show its first frame, and what it costs once idle.
//
// Builds the window as the keelwick program does (the application, the Basic style, the
// window's QML module, DesktopWindow::show()) with the standard services and prints, when the
// window swaps its first frame, the time since main started and since the kernel started the
// process, with the steps in between. Target: under 1 s.
//
// With --idle SECONDS the window then stays shown: after a second to settle, the process's
// CPU time and the frames it swaps are counted over SECONDS. Target: about 0 ms.
//
// Usage: bench_window_start [--idle SECONDS] [--first-launch]
// Run under a display (bench/window_start.sh runs it under Xvfb several times and prints the
// medians). --first-launch starts as on the very first launch, with the history timeline.

#include "WindowBench.h"

#include <QtQml/qqmlextensionplugin.h>
#include <QTimer>

#include <cstring>

Q_IMPORT_QML_PLUGIN(KeelwickPlugin)

using namespace keelwick;
using namespace keelwick::bench;

namespace {

constexpr std::chrono::seconds kSettleTime{1};
constexpr std::chrono::seconds kGiveUpAfter{60};

struct Arguments {
    int idleSeconds = 0;
    bool firstLaunch = false;
};

Arguments readArguments(int argc, char** argv) {
    Arguments arguments;
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--idle") == 0 && index + 1 < argc) {
            arguments.idleSeconds = std::max(1, std::atoi(argv[++index]));
        } else if (std::strcmp(argv[index], "--first-launch") == 0) {
            arguments.firstLaunch = true;
        }
    }
    return arguments;
}

/// Counts the process's CPU time and the window's frames over `seconds` of idleness, then
/// ends the event loop.
void measureIdle(const FrameClock& frames, int seconds) {
    struct Start {
        double cpu;
        double cpuTicks;
        std::size_t frames;
    };
    const Start start{processCpuMilliseconds(), processCpuTicksMilliseconds(),
                      frames.frames().size()};
    QTimer::singleShot(std::chrono::seconds(seconds), [&frames, start, seconds] {
        std::printf("idle-seconds %d\n", seconds);
        std::printf("idle-cpu-ms %.2f\n", processCpuMilliseconds() - start.cpu);
        std::printf("idle-cpu-ticks-ms %.0f\n", processCpuTicksMilliseconds() - start.cpuTicks);
        std::printf("idle-frames %zu\n", frames.frames().size() - start.frames);
        QCoreApplication::quit();
    });
}

}  // namespace

int main(int argc, char** argv) {
    const Clock::time_point mainStarted = Clock::now();
    const double processAgeAtMain = millisecondsSinceProcessStart();
    const Arguments arguments = readArguments(argc, argv);
    QTemporaryDir settings;
    keepSettingsIn(settings, arguments.firstLaunch);

    QGuiApplication application(argc, argv);
    setUpAsTheProgram();
    const Clock::time_point applicationMade = Clock::now();
    DesktopWindow window;
    const Clock::time_point windowMade = Clock::now();
    if (!window.show()) {
        return 1;
    }
    const Clock::time_point shown = Clock::now();

    FrameClock frames(*window.window());
    bool reported = false;
    QObject::connect(
        window.window(), &QQuickWindow::frameSwapped, &application,
        [&] {
            if (reported) {
                return;
            }
            reported = true;
            const Clock::time_point firstFrame = frames.frames().front().swapped.at;
            std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));
            std::printf("graphics %s\n", graphicsApiName(*window.window()));
            std::printf("application-ms %.2f\n", milliseconds(applicationMade - mainStarted));
            std::printf("window-made-ms %.2f\n", milliseconds(windowMade - mainStarted));
            std::printf("shown-ms %.2f\n", milliseconds(shown - mainStarted));
            std::printf("main-to-first-frame-ms %.2f\n", milliseconds(firstFrame - mainStarted));
            std::printf("process-to-first-frame-ms %.0f\n",
                        processAgeAtMain + milliseconds(firstFrame - mainStarted));
            std::printf("first-frame-epoch-us %lld\n",
                        epochMicroseconds() - std::chrono::duration_cast<std::chrono::microseconds>(
                                                  Clock::now() - firstFrame)
                                                  .count());
            std::fflush(stdout);
            if (arguments.idleSeconds == 0) {
                QCoreApplication::quit();
                return;
            }
            QTimer::singleShot(kSettleTime, [&] { measureIdle(frames, arguments.idleSeconds); });
        },
        Qt::QueuedConnection);
    QTimer::singleShot(kGiveUpAfter, [] {
        std::fprintf(stderr, "no frame within %lld s\n",
                     static_cast<long long>(kGiveUpAfter.count()));
        QCoreApplication::exit(1);
    });
    return application.exec();
}
