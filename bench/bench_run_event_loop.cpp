// How long the main thread goes without handling its events while the workflow model analyses
// and then checks a batch of drawings. The model is confined to the main thread and hands each
// drawing's work to the drawing-job thread, so a window driven by it should never freeze: the
// target is no wait longer than 50 ms.
//
// The example drawings are copied several times into a temporary folder tree (the damaged one
// included, so failures are part of the run), added to a RescueViewModel with the standard
// services, analysed, and checked into a temporary destination with overwriting allowed. A
// precise 5 ms timer ticks on the main thread the whole time; the lateness of a tick is the
// gap since the previous tick minus the interval. Every event the main thread handles is timed
// as well, and the kernel's scheduler statistics of the main thread split each gap into time
// on a core, time ready but waiting for a free core, and time asleep: that tells a busy main
// thread (a long event) from one the system did not schedule (other processes, Chromium among
// them, had both cores). "Own" lateness leaves out the waits for a core.
//
// Usage: bench_run_event_loop [copies]   (copies of the examples folder, default 6)
//
// A plain timed program rather than a Google Benchmark fixture: one long run with a stream of
// samples, summarised per phase. Exit status 1 when the measurement itself failed (no
// drawings found, a run that did not check every drawing, a good example that failed, no
// report.txt); the target's verdict is printed but does not change the status, because late
// ticks also come from the load of other programs on the machine.

#include "pipeline/MemoryTuning.h"
#include "workflow/RescuePlatform.h"
#include "workflow/RescueViewModel.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace keelwick;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::chrono::milliseconds kTickInterval{5};
constexpr double kTargetMilliseconds = 50;
/// Main-thread events shorter than this are not kept.
constexpr double kNotableEventMilliseconds = 1;
/// A run that takes longer has hung.
constexpr std::chrono::minutes kGiveUpAfter{10};

double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

/// The command line has no panels, and neither has this measurement.
class HeadlessPlatform : public RescuePlatform {
  public:
    void runOpenPanel(const OpenPanel&, PanelAnswer answer) override { answer(std::nullopt); }
    void revealInFileManager(const QString&) override {}
};

/// The main thread's scheduler account: nanoseconds on a core and waiting for one.
struct SchedulerAccount {
    unsigned long long running = 0;
    unsigned long long waiting = 0;
};

/// Reads the calling thread's account from /proc/thread-self/schedstat (the kernel's
/// scheduler statistics), which tells why a tick came late: the thread was busy, it was
/// ready but every core was taken, or it slept (waiting for an event or a lock).
class SchedulerStatistics {
  public:
    SchedulerStatistics() : file_(open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC)) {}
    ~SchedulerStatistics() {
        if (file_ >= 0) {
            close(file_);
        }
    }
    SchedulerStatistics(const SchedulerStatistics&) = delete;
    SchedulerStatistics& operator=(const SchedulerStatistics&) = delete;

    SchedulerAccount read() const {
        char text[128] = {};
        SchedulerAccount account;
        if (file_ >= 0 && pread(file_, text, sizeof text - 1, 0) > 0) {
            std::sscanf(text, "%llu %llu", &account.running, &account.waiting);
        }
        return account;
    }

  private:
    int file_;
};

/// A point in time with the main thread's account at that point.
struct Moment {
    Clock::time_point at;
    SchedulerAccount account;
};

/// Where the main thread's time went between two moments, in milliseconds.
struct Split {
    double wall = 0;
    double running = 0;
    double waitingForCore = 0;
    double asleep = 0;

    /// The part that is the program's own: the wall time less the waits for a free core.
    double own() const { return wall - waitingForCore; }
};

Split split(const Moment& from, const Moment& to) {
    Split split;
    split.wall = milliseconds(to.at - from.at);
    split.running = (to.account.running - from.account.running) / 1e6;
    split.waitingForCore = (to.account.waiting - from.account.waiting) / 1e6;
    split.asleep = std::max(0.0, split.wall - split.running - split.waitingForCore);
    return split;
}

/// One event the main thread took a notable time to handle.
struct HandledEvent {
    Moment start;
    Moment end;
    const char* receiverClass;
    QEvent::Type type;
};

/// The application, timing every event it delivers on the main thread.
class TimedApplication : public QGuiApplication {
  public:
    using QGuiApplication::QGuiApplication;

    /// The main thread's account; opened on the main thread, which creates the application.
    const SchedulerStatistics scheduler;

    bool notify(QObject* receiver, QEvent* event) override {
        if (QThread::currentThread() != thread()) {
            return QGuiApplication::notify(receiver, event);
        }
        // Read before delivery: the receiver may delete itself while handling the event.
        const char* receiverClass = receiver->metaObject()->className();
        const QEvent::Type type = event->type();
        const Moment start = now();
        const bool handled = QGuiApplication::notify(receiver, event);
        const Moment end = now();
        if (milliseconds(end.at - start.at) >= kNotableEventMilliseconds) {
            longEvents.push_back({start, end, receiverClass, type});
        }
        return handled;
    }

    Moment now() const { return {Clock::now(), scheduler.read()}; }

    std::vector<HandledEvent> longEvents;
};

/// A stretch of the measurement: from its start to its end on the steady clock.
struct Phase {
    const char* name;
    Clock::time_point start;
    Clock::time_point end;

    bool overlaps(Clock::time_point from, Clock::time_point to) const {
        return from < end && to > start;
    }
};

/// The figures of one phase.
struct PhaseFigures {
    double seconds = 0;
    std::size_t ticks = 0;
    double maxLateness = 0;
    /// The gap before the latest tick.
    Split worstGap;
    double p99Lateness = 0;
    /// The largest lateness less the waits for a free core within the gap.
    double maxOwnLateness = 0;
    std::size_t ticksLaterThanFrame = 0;
    std::size_t ticksLaterThanTarget = 0;
    std::optional<HandledEvent> longestEvent;
};

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * values.size()));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

/// A gap between two ticks counts for every phase it overlaps, so that a wait across the
/// change from one phase to the next is charged to both.
PhaseFigures figuresFor(const Phase& phase, const std::vector<Moment>& ticks,
                        const std::vector<HandledEvent>& events) {
    PhaseFigures figures;
    figures.seconds = milliseconds(phase.end - phase.start) / 1000;
    std::vector<double> lateness;
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        if (!phase.overlaps(ticks[i - 1].at, ticks[i].at)) {
            continue;
        }
        const double late =
            std::max(0.0, milliseconds(ticks[i].at - ticks[i - 1].at - kTickInterval));
        const Split gap = split(ticks[i - 1], ticks[i]);
        if (lateness.empty() || late > figures.maxLateness) {
            figures.maxLateness = late;
            figures.worstGap = gap;
        }
        figures.maxOwnLateness = std::max(figures.maxOwnLateness,
                                          std::max(0.0, gap.own() - milliseconds(kTickInterval)));
        lateness.push_back(late);
        figures.ticksLaterThanFrame += late > 16 ? 1 : 0;
        figures.ticksLaterThanTarget += late > kTargetMilliseconds ? 1 : 0;
    }
    figures.ticks = lateness.size();
    figures.p99Lateness = percentile(lateness, 0.99);
    // The longest by the program's own time: waits for a free core are the machine's.
    for (const HandledEvent& event : events) {
        if (phase.overlaps(event.start.at, event.end.at) &&
            (!figures.longestEvent ||
             split(event.start, event.end).own() >
                 split(figures.longestEvent->start, figures.longestEvent->end).own())) {
            figures.longestEvent = event;
        }
    }
    return figures;
}

/// The drawings copied for the measurement.
struct Batch {
    int drawings = 0;
    /// Those expected to succeed: all but the copies of the example damaged on purpose.
    int good = 0;
};

/// `copies` copies of every example drawing, in folders two levels deep.
Batch copyExamples(const QString& examples, const QString& tree, int copies) {
    const QStringList drawings =
        QDir(examples).entryList({QStringLiteral("*.idraw")}, QDir::Files, QDir::Name);
    Batch batch;
    for (int copy = 0; copy < copies; ++copy) {
        const QString folder =
            QDir(tree).filePath(QStringLiteral("batch-%1/set-%2").arg(copy / 2).arg(copy % 2));
        QDir().mkpath(folder);
        for (const QString& name : drawings) {
            if (QFile::copy(QDir(examples).filePath(name), QDir(folder).filePath(name))) {
                ++batch.drawings;
                batch.good += name != QLatin1StringView("damaged.idraw");
            }
        }
    }
    return batch;
}

void printFigures(const Phase& phase, const PhaseFigures& figures) {
    std::printf("%-9s %7.2f s %6zu %9.2f ms %9.2f ms %8zu %8zu %9.2f ms\n", phase.name,
                figures.seconds, figures.ticks, figures.maxLateness, figures.p99Lateness,
                figures.ticksLaterThanFrame, figures.ticksLaterThanTarget, figures.maxOwnLateness);
}

void printSplit(const Split& split) {
    std::printf("%.2f ms (on a core %.2f ms, ready but waiting for a core %.2f ms, asleep %.2f ms)",
                split.wall, split.running, split.waitingForCore, split.asleep);
}

/// Why the latest tick of the phase came late, and the longest event the main thread handled.
void explainWorstGap(const Phase& phase, const PhaseFigures& figures) {
    std::printf("%s: worst gap ", phase.name);
    printSplit(figures.worstGap);
    std::printf("\n%s: longest main-thread event ", phase.name);
    if (figures.longestEvent) {
        const HandledEvent& event = *figures.longestEvent;
        printSplit(split(event.start, event.end));
        std::printf(", %s, event type %d\n", event.receiverClass, static_cast<int>(event.type));
    } else {
        std::printf("none over %.0f ms\n", kNotableEventMilliseconds);
    }
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The model stores its all-time count: keep it out of the user's settings.
    QTemporaryDir configuration;
    qputenv("XDG_CONFIG_HOME", configuration.path().toUtf8());
    keepMemoryBetweenDrawings();  // as the programs do
    TimedApplication application(argc, argv);
    const int copies = argc > 1 ? std::max(1, std::atoi(argv[1])) : 6;

    QTemporaryDir work;
    const QString tree = QDir(work.path()).filePath(QStringLiteral("drawings"));
    const QString destination = QDir(work.path()).filePath(QStringLiteral("previews"));
    const QString examples = QStringLiteral(KEELWICK_SOURCE_DIR "/examples");
    const Batch batch = copyExamples(examples, tree, copies);
    if (!work.isValid() || batch.drawings == 0) {
        std::fprintf(stderr, "could not copy the examples from %s\n", qPrintable(examples));
        return 1;
    }

    HeadlessPlatform platform;
    RescueViewModel model(platform);

    std::vector<Moment> ticks;
    ticks.reserve(1 << 16);
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(kTickInterval);
    QObject::connect(&probe, &QTimer::timeout, [&] { ticks.push_back(application.now()); });

    Phase analysis{"analysis", {}, {}};
    Phase run{"run", {}, {}};
    QObject::connect(&model, &RescueViewModel::isLoadingSelectionPreviewChanged, [&] {
        if (model.isLoadingSelectionPreview() || analysis.end != Clock::time_point{}) {
            return;
        }
        analysis.end = Clock::now();
        // Started as a user's click would start it: after the analysis step has returned.
        QTimer::singleShot(0, &model, [&] {
            RescueOptions options = model.options();
            options.overwriteDestinationFiles = true;
            model.setOptions(options);
            model.useOutputFolder(destination);
            run.start = Clock::now();
            model.rescue();
            if (!model.isRescuing()) {
                run.end = Clock::now();
                QCoreApplication::exit(1);
            }
        });
    });
    QObject::connect(&model, &RescueViewModel::isRescuingChanged, [&] {
        if (!model.isRescuing() && run.start != Clock::time_point{}) {
            run.end = Clock::now();
            QCoreApplication::exit(0);
        }
    });
    QTimer::singleShot(kGiveUpAfter, &application, [] {
        std::fprintf(stderr, "the analysis and run did not end within %lld minutes\n",
                     static_cast<long long>(kGiveUpAfter.count()));
        QCoreApplication::exit(1);
    });

    std::printf("%d drawings (%d copies of the examples), ticks every %lld ms\n", batch.drawings,
                copies, static_cast<long long>(kTickInterval.count()));
    std::fflush(stdout);
    ticks.push_back(application.now());
    probe.start();
    analysis.start = Clock::now();
    model.add({tree});
    const int loopStatus = application.exec();
    probe.stop();

    const qsizetype results = model.results().size();
    const qint64 rescued = model.rescuedCount();
    const bool reportWritten = QFile::exists(QDir(destination).filePath("report.txt"));
    if (loopStatus != 0 || results != batch.drawings || rescued != batch.good || !reportWritten) {
        std::fprintf(stderr,
                     "the run did not complete: %lld of %d drawings checked, %lld of %d good "
                     "ones succeeded, report.txt %s; status: %s\n",
                     static_cast<long long>(results), batch.drawings,
                     static_cast<long long>(rescued), batch.good,
                     reportWritten ? "written" : "missing", qPrintable(model.currentMessage()));
        return 1;
    }

    std::printf("%-9s %9s %6s %12s %12s %8s %8s %12s\n", "phase", "duration", "ticks", "max late",
                "p99 late", ">16 ms", ">50 ms", "max own late");
    bool targetMet = true;
    std::vector<std::pair<Phase, PhaseFigures>> measured;
    for (const Phase& phase : {analysis, run}) {
        measured.emplace_back(phase, figuresFor(phase, ticks, application.longEvents));
        printFigures(phase, measured.back().second);
        targetMet = targetMet && measured.back().second.maxLateness <= kTargetMilliseconds;
    }
    for (const auto& [phase, figures] : measured) {
        explainWorstGap(phase, figures);
    }
    std::printf("status: %s\n", qPrintable(model.currentMessage()));
    std::printf("target (no tick later than %.0f ms): %s\n", kTargetMilliseconds,
                targetMet ? "met" : "missed");
    std::printf(
        "(own lateness: a tick's lateness less the time the main thread was ready but "
        "waiting for a free core; a gap normally spends its %lld ms interval asleep)\n",
        static_cast<long long>(kTickInterval.count()));
    return 0;
}
