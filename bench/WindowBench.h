// What the desktop window's benchmarks share: the application set up as the keelwick program
// sets it up, settings kept apart from the user's, the frames the window swaps, and the
// process's clocks as the kernel keeps them.
#pragma once

#include "ui/DesktopWindow.h"
#include "ui/WindowState.h"

#include <QGuiApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace keelwick::bench {

using Clock = std::chrono::steady_clock;

inline double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

/// Keeps the window's settings (its all-time count, its first-launch timeline) in a
/// temporary folder. Called before the application exists, as Qt reads the folder once.
/// Unless `firstLaunch`, the window is one that has been opened before, as on most starts.
inline void keepSettingsIn(const QTemporaryDir& folder, bool firstLaunch) {
    qputenv("XDG_CONFIG_HOME", folder.path().toUtf8());
    QSettings(QStringLiteral("Keelwick"), QStringLiteral("Keelwick"))
        .setValue(WindowState::hasSeenLaunchTimelineKey, !firstLaunch);
}

/// The application as the program's main sets it up.
inline void setUpAsTheProgram() {
    DesktopWindow::setUpApplication();
}

/// The fields of /proc/self/stat that the benchmarks read, in clock ticks.
struct ProcessTimes {
    unsigned long long userTicks = 0;
    unsigned long long systemTicks = 0;
    unsigned long long startTicks = 0;
};

inline ProcessTimes readProcessTimes() {
    std::FILE* file = std::fopen("/proc/self/stat", "r");
    if (!file) {
        return {};
    }
    char text[1024] = {};
    const std::size_t length = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    // The command name may hold spaces and parentheses: the fields follow its last ')'.
    const std::string line(text, length);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::vector<std::string> values;
    for (std::string value; fields >> value;) {
        values.push_back(value);
    }
    // Counted from the state, the third field of the line: utime 14, stime 15, starttime 22.
    if (values.size() < 20) {
        return {};
    }
    return {std::stoull(values[11]), std::stoull(values[12]), std::stoull(values[19])};
}

inline double ticksToMilliseconds(unsigned long long ticks) {
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

/// The process's CPU time, all threads, user and system, as /proc/self/stat counts it (in
/// clock ticks, 10 ms each here).
inline double processCpuTicksMilliseconds() {
    const ProcessTimes times = readProcessTimes();
    return ticksToMilliseconds(times.userTicks + times.systemTicks);
}

/// The same, to the nanosecond, from the process's CPU-time clock.
inline double processCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

/// The time since the kernel started this process: its start time in /proc/self/stat is
/// counted in clock ticks on the boot-time clock, so the figure is as coarse as a tick.
inline double millisecondsSinceProcessStart() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6 -
           ticksToMilliseconds(readProcessTimes().startTicks);
}

/// Microseconds since the epoch, for comparison with a shell's clock.
inline long long epochMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

/// Nanoseconds the calling thread has spent on a core and ready but waiting for a free one,
/// from the kernel's scheduler statistics.
struct SchedulerAccount {
    unsigned long long running = 0;
    unsigned long long waiting = 0;
};

inline SchedulerAccount threadSchedulerAccount() {
    // Opened once per thread, which reads it many times a second; left open until the end.
    thread_local const int file = open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    char text[128] = {};
    SchedulerAccount account;
    if (file >= 0 && pread(file, text, sizeof text - 1, 0) > 0) {
        std::sscanf(text, "%llu %llu", &account.running, &account.waiting);
    }
    return account;
}

/// A point in time with the calling thread's account at that point.
struct Moment {
    Clock::time_point at;
    SchedulerAccount account;

    static Moment now() { return {Clock::now(), threadSchedulerAccount()}; }
};

/// Where a thread's time went between two moments, in milliseconds.
struct Split {
    double wall = 0;
    double running = 0;
    double waitingForCore = 0;

    /// The wall time less the waits for a free core: the program's own part.
    double own() const { return wall - waitingForCore; }
};

inline Split split(const Moment& from, const Moment& to) {
    return {milliseconds(to.at - from.at), (to.account.running - from.account.running) / 1e6,
            (to.account.waiting - from.account.waiting) / 1e6};
}

/// One frame as the render thread went through it: the scene synchronised from the items
/// (the main thread waits meanwhile), then rendered and swapped to the screen.
struct Frame {
    Moment syncStart;
    Moment syncEnd;
    Moment swapped;

    bool isComplete() const {
        return syncStart.at != Clock::time_point{} && syncEnd.at != Clock::time_point{};
    }
};

/// The frames the window made. The threaded render loop makes them on its render thread, so
/// the moments are taken there and guarded.
class FrameClock {
  public:
    explicit FrameClock(QQuickWindow& window) {
        auto at = [this](Moment Frame::*moment) {
            return [this, moment] {
                const Moment now = Moment::now();
                std::lock_guard lock(mutex_);
                if (moment == &Frame::syncStart || frames_.empty()) {
                    frames_.emplace_back();
                }
                frames_.back().*moment = now;
            };
        };
        QObject::connect(&window, &QQuickWindow::beforeSynchronizing, &window,
                         at(&Frame::syncStart), Qt::DirectConnection);
        QObject::connect(&window, &QQuickWindow::afterSynchronizing, &window, at(&Frame::syncEnd),
                         Qt::DirectConnection);
        QObject::connect(&window, &QQuickWindow::frameSwapped, &window, at(&Frame::swapped),
                         Qt::DirectConnection);
    }

    /// The frames swapped so far.
    std::vector<Frame> frames() const {
        std::lock_guard lock(mutex_);
        std::vector<Frame> swapped;
        std::copy_if(frames_.begin(), frames_.end(), std::back_inserter(swapped),
                     [](const Frame& frame) { return frame.swapped.at != Clock::time_point{}; });
        return swapped;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Frame> frames_;
};

inline double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * values.size()));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

/// The name of the graphics interface the window renders through.
inline const char* graphicsApiName(QQuickWindow& window) {
    switch (window.rendererInterface()->graphicsApi()) {
        case QSGRendererInterface::Software:
            return "software";
        case QSGRendererInterface::OpenGL:
            return "OpenGL";
        case QSGRendererInterface::Vulkan:
            return "Vulkan";
        default:
            return "other";
    }
}

}  // namespace keelwick::bench
