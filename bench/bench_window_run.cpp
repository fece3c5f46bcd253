// Whether the desktop window keeps painting while it analyses and checks a batch of drawings.
//
// The window is built as the keelwick program builds it, with the standard services: the
// real pipeline, and Chromium rendering each preview. The example drawings are copied under
// different names into one folder (24 drawings by default, the damaged one among them) and
// chosen as a drop would choose them; the review sheet stays up for a second, the destination
// is answered in its panel, and the check runs; the report sheet stays up for a second.
//
// Throughout, a 16 ms timer asks the window for a new frame, so it swaps one about every
// 16 ms unless something holds it up: the frame gap is the time between two consecutive
// swaps. A precise 5 ms timer ticks on the main thread; the lateness of a tick is its gap
// less 5 ms. The kernel's scheduler statistics of the main thread split each gap into time on
// a core, time ready but waiting for a free core, and time asleep ("own" lateness leaves out
// the waits for a core: the machine's, not the program's), and every event the main thread
// handles for 1 ms or more is kept with its receiver, to say what held it up.
// Target: no main-thread stall longer than 50 ms, and the window painting throughout.
//
// Usage: bench_window_run [copies] [--no-repaint]
// (copies of each example drawing, default 6; --no-repaint leaves the 16 ms timer out, so the
// window draws only what changes)
// Run under a display: xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/bench_window_run
// Exit status 1 when the measurement failed (drawings not copied, a run that did not check
// every drawing); the verdict on the target is printed and leaves the status alone.

#include "WindowBench.h"

#include <QtQml/qqmlextensionplugin.h>
#include <QDir>
#include <QFile>
#include <QMetaEnum>
#include <QThread>
#include <QTimer>

#include <cstring>

Q_IMPORT_QML_PLUGIN(KeelwickPlugin)

using namespace keelwick;
using namespace keelwick::bench;

namespace {

constexpr std::chrono::milliseconds kTickInterval{5};
constexpr std::chrono::milliseconds kFrameRequestInterval{16};
/// How long the window stays idle before the drop, and a sheet stays up before it is closed.
constexpr std::chrono::seconds kDwell{1};
constexpr double kTargetMilliseconds = 50;
constexpr double kNotableEventMilliseconds = 1;
constexpr std::chrono::minutes kGiveUpAfter{10};

struct HandledEvent {
    Moment start;
    Moment end;
    /// Only compared: the receiver may be gone.
    const QObject* receiver;
    const char* receiverClass;
    QEvent::Type type;
};

/// The application, timing every event it delivers on the main thread.
class TimedApplication : public QGuiApplication {
  public:
    using QGuiApplication::QGuiApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        if (QThread::currentThread() != thread()) {
            return QGuiApplication::notify(receiver, event);
        }
        // Read before delivery: the receiver may delete itself while handling the event.
        const char* receiverClass = receiver->metaObject()->className();
        const QEvent::Type type = event->type();
        const Moment start = Moment::now();
        const bool handled = QGuiApplication::notify(receiver, event);
        const Moment end = Moment::now();
        if (milliseconds(end.at - start.at) >= kNotableEventMilliseconds) {
            longEvents.push_back({start, end, receiver, receiverClass, type});
        }
        return handled;
    }

    std::vector<HandledEvent> longEvents;
};

struct Phase {
    const char* name;
    Clock::time_point start;
    Clock::time_point end;
    /// The process's CPU time at the start and the end, all threads.
    double cpuAtStart = 0;
    double cpuAtEnd = 0;

    void begin() {
        start = Clock::now();
        cpuAtStart = processCpuMilliseconds();
    }
    void finish() {
        end = Clock::now();
        cpuAtEnd = processCpuMilliseconds();
    }

    bool overlaps(Clock::time_point from, Clock::time_point to) const {
        return from < end && to > start;
    }
};

struct PhaseFigures {
    std::size_t frames = 0;
    double maxFrameGap = 0;
    double p99FrameGap = 0;
    /// The longest synchronisation, during which the main thread waits for the render thread.
    double maxSync = 0;
    /// The longest time from the end of a synchronisation to the frame's swap, and where the
    /// render thread's time went meanwhile.
    Split longestRender;
    double maxLateness = 0;
    double p99Lateness = 0;
    double maxOwnLateness = 0;
    Split worstGap;
    std::optional<HandledEvent> longestEvent;
    /// The longest of the events not delivered to the window itself: the window's own events
    /// draw it, the others are the program's work (the model's steps, input, timers).
    std::optional<HandledEvent> longestWorkEvent;
};

/// A gap counts for every phase it overlaps, so a wait across two phases is charged to both.
void addFrameFigures(const Phase& phase, const std::vector<Frame>& frames, PhaseFigures& figures) {
    std::vector<double> gaps;
    for (std::size_t i = 1; i < frames.size(); ++i) {
        const Frame& frame = frames[i];
        if (!phase.overlaps(frames[i - 1].swapped.at, frame.swapped.at)) {
            continue;
        }
        gaps.push_back(milliseconds(frame.swapped.at - frames[i - 1].swapped.at));
        if (frame.isComplete()) {
            figures.maxSync = std::max(figures.maxSync, split(frame.syncStart, frame.syncEnd).wall);
            const Split render = split(frame.syncEnd, frame.swapped);
            if (render.wall > figures.longestRender.wall) {
                figures.longestRender = render;
            }
        }
    }
    figures.frames = gaps.size();
    figures.maxFrameGap = gaps.empty() ? 0 : *std::max_element(gaps.begin(), gaps.end());
    figures.p99FrameGap = percentile(gaps, 0.99);
}

void addTickFigures(const Phase& phase, const std::vector<Moment>& ticks, PhaseFigures& figures) {
    std::vector<double> lateness;
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        if (!phase.overlaps(ticks[i - 1].at, ticks[i].at)) {
            continue;
        }
        const Split gap = split(ticks[i - 1], ticks[i]);
        const double late = std::max(0.0, gap.wall - milliseconds(kTickInterval));
        if (lateness.empty() || late > figures.maxLateness) {
            figures.maxLateness = late;
            figures.worstGap = gap;
        }
        figures.maxOwnLateness =
            std::max(figures.maxOwnLateness, gap.own() - milliseconds(kTickInterval));
        lateness.push_back(late);
    }
    figures.p99Lateness = percentile(lateness, 0.99);
}

/// Whether `event` took longer than `longest` by the program's own time: waits for a free
/// core are the machine's.
bool isLonger(const HandledEvent& event, const std::optional<HandledEvent>& longest) {
    return !longest ||
           split(event.start, event.end).own() > split(longest->start, longest->end).own();
}

void addLongestEvents(const Phase& phase, const std::vector<HandledEvent>& events,
                      const QObject* window, PhaseFigures& figures) {
    for (const HandledEvent& event : events) {
        if (!phase.overlaps(event.start.at, event.end.at)) {
            continue;
        }
        if (isLonger(event, figures.longestEvent)) {
            figures.longestEvent = event;
        }
        if (event.receiver != window && isLonger(event, figures.longestWorkEvent)) {
            figures.longestWorkEvent = event;
        }
    }
}

struct Batch {
    int drawings = 0;
    int good = 0;
};

/// `copies` copies of every example drawing in `folder`, named after it with a number.
Batch copyExamples(const QString& examples, const QString& folder, int copies) {
    QDir().mkpath(folder);
    Batch batch;
    const QStringList names =
        QDir(examples).entryList({QStringLiteral("*.idraw")}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        for (int copy = 1; copy <= copies; ++copy) {
            const QString copyName =
                QStringLiteral("%1-%2.idraw").arg(QFileInfo(name).completeBaseName()).arg(copy);
            if (QFile::copy(QDir(examples).filePath(name), QDir(folder).filePath(copyName))) {
                ++batch.drawings;
                batch.good += name != QLatin1StringView("damaged.idraw");
            }
        }
    }
    return batch;
}

void printFigures(const Phase& phase, const PhaseFigures& figures) {
    std::printf("%-8s %6.2f s %6zu %9.2f %9.2f %9.2f %9.2f %9.2f %9.2f %9.2f %9.0f\n", phase.name,
                milliseconds(phase.end - phase.start) / 1000, figures.frames, figures.maxFrameGap,
                figures.p99FrameGap, figures.maxSync, figures.longestRender.wall,
                figures.maxLateness, figures.p99Lateness, figures.maxOwnLateness,
                phase.cpuAtEnd - phase.cpuAtStart);
}

void printEvent(const char* title, const std::optional<HandledEvent>& handled) {
    if (!handled) {
        std::printf("; %s: none over %.0f ms", title, kNotableEventMilliseconds);
        return;
    }
    const Split event = split(handled->start, handled->end);
    const char* typeName =
        QMetaEnum::fromType<QEvent::Type>().valueToKey(static_cast<int>(handled->type));
    std::printf("; %s %.2f ms (on a core %.2f, waiting for a core %.2f), %s, %s", title, event.wall,
                event.running, event.waitingForCore, handled->receiverClass,
                typeName ? typeName : "unnamed");
}

void explain(const Phase& phase, const PhaseFigures& figures) {
    const Split& render = figures.longestRender;
    std::printf(
        "%s: longest render %.2f ms (render thread on a core %.2f, waiting for a core %.2f)\n",
        phase.name, render.wall, render.running, render.waitingForCore);
    const Split& gap = figures.worstGap;
    std::printf("%s: latest tick's gap %.2f ms (on a core %.2f, waiting for a core %.2f)",
                phase.name, gap.wall, gap.running, gap.waitingForCore);
    printEvent("longest event", figures.longestEvent);
    printEvent("longest event not the window's", figures.longestWorkEvent);
    std::printf("\n");
}

/// The window's session as the measurement drives it: the phases, the user's steps from
/// the drop to the end of the run, and the samples taken meanwhile.
class Session {
  public:
    Session(TimedApplication& application, DesktopWindow& window, bool forcesFrames)
        : application_(application),
          window_(window),
          forcesFrames_(forcesFrames),
          frames_(*window.window()) {
        repaint_.setTimerType(Qt::PreciseTimer);
        repaint_.setInterval(kFrameRequestInterval);
        QObject::connect(&repaint_, &QTimer::timeout, [this] { window_.window()->update(); });
        ticks_.reserve(1 << 17);
        probe_.setTimerType(Qt::PreciseTimer);
        probe_.setInterval(kTickInterval);
        QObject::connect(&probe_, &QTimer::timeout, [this] { ticks_.push_back(Moment::now()); });
    }

    /// From the first frame on (the window's start is bench_window_start's): a second idle,
    /// then `folder` dropped; the review, the destination `destination`, the check, the report.
    void play(const QString& folder, const QString& destination) {
        RescueViewModel& model = window_.model();
        QObject::connect(&model, &RescueViewModel::isLoadingSelectionPreviewChanged,
                         [this, destination] { analysisChanged(destination); });
        QObject::connect(&model, &RescueViewModel::isRescuingChanged, [this] { runChanged(); });
        firstFrame_ = QObject::connect(
            window_.window(), &QQuickWindow::frameSwapped, &application_,
            [this, folder] {
                QObject::disconnect(firstFrame_);
                idle_.begin();
                ticks_.push_back(Moment::now());
                probe_.start();
                if (forcesFrames_) {
                    repaint_.start();
                }
                QTimer::singleShot(kDwell, &application_, [this, folder] {
                    next(idle_, analysis_);
                    window_.choose({folder});
                });
            },
            Qt::QueuedConnection);
    }

    /// Prints the figures of every phase and of the target's span; true when it was met.
    bool report() const {
        std::printf("%-8s %8s %6s %9s %9s %9s %9s %9s %9s %9s %9s   (ms)\n", "phase", "duration",
                    "frames", "max gap", "p99 gap", "max sync", "max rend", "max late", "p99 late",
                    "own late", "CPU");
        const std::vector<Frame> swapped = frames_.frames();
        std::vector<std::pair<Phase, PhaseFigures>> measured;
        // The target's span: from the drop to the end of the run, the review between them.
        const Phase dropToEnd{"drop-end", analysis_.start, run_.end, analysis_.cpuAtStart,
                              run_.cpuAtEnd};
        for (const Phase& phase : {idle_, analysis_, review_, run_, report_, dropToEnd}) {
            PhaseFigures figures;
            addFrameFigures(phase, swapped, figures);
            addTickFigures(phase, ticks_, figures);
            addLongestEvents(phase, application_.longEvents, window_.window(), figures);
            printFigures(phase, figures);
            measured.emplace_back(phase, figures);
        }
        for (const auto& [phase, figures] : measured) {
            explain(phase, figures);
        }
        const PhaseFigures& span = measured.back().second;
        return span.maxLateness <= kTargetMilliseconds && span.maxFrameGap <= kTargetMilliseconds;
    }

  private:
    static void next(Phase& ending, Phase& starting) {
        ending.finish();
        starting.begin();
    }

    /// At the end of the analysis the review stays up for a while, then the user closes it,
    /// answers the destination panel and starts the check.
    void analysisChanged(const QString& destination) {
        RescueViewModel& model = window_.model();
        if (model.isLoadingSelectionPreview() || analysis_.start == Clock::time_point{} ||
            review_.start != Clock::time_point{}) {
            return;
        }
        next(analysis_, review_);
        QTimer::singleShot(kDwell, &model, [this, &model, destination] {
            model.setShowsSelectionPreview(false);
            model.chooseOutputFolder();
            window_.platform().answerPanel({QUrl::fromLocalFile(destination)});
            next(review_, run_);
            model.rescue();
        });
    }

    /// At the end of the check the report stays up for a while, then the measurement ends.
    void runChanged() {
        if (window_.model().isRescuing() || run_.start == Clock::time_point{}) {
            return;
        }
        next(run_, report_);
        QTimer::singleShot(kDwell, &application_, [this] {
            report_.finish();
            probe_.stop();
            repaint_.stop();
            // Queued: quitting closes the window, which waits for the render thread, and that
            // wait belongs to no phase.
            QMetaObject::invokeMethod(&application_, &QCoreApplication::quit, Qt::QueuedConnection);
        });
    }

    TimedApplication& application_;
    DesktopWindow& window_;
    const bool forcesFrames_;
    FrameClock frames_;
    QTimer repaint_;
    QTimer probe_;
    std::vector<Moment> ticks_;
    QMetaObject::Connection firstFrame_;
    Phase idle_{"idle", {}, {}}, analysis_{"analysis", {}, {}}, review_{"review", {}, {}},
        run_{"run", {}, {}}, report_{"report", {}, {}};
};

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir settings;
    keepSettingsIn(settings, false);
    TimedApplication application(argc, argv);
    setUpAsTheProgram();
    int copies = 6;
    bool forcesFrames = true;
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--no-repaint") == 0) {
            forcesFrames = false;
        } else {
            copies = std::max(1, std::atoi(argv[index]));
        }
    }

    QTemporaryDir work;
    const QString folder = QDir(work.path()).filePath(QStringLiteral("drawings"));
    const QString destination = QDir(work.path()).filePath(QStringLiteral("destination"));
    const Batch batch =
        copyExamples(QStringLiteral(KEELWICK_SOURCE_DIR "/examples"), folder, copies);
    if (!work.isValid() || batch.drawings == 0 || !QDir().mkpath(destination)) {
        std::fprintf(stderr, "could not copy the example drawings\n");
        return 1;
    }
    DesktopWindow window;
    if (!window.show()) {
        return 1;
    }
    Session session(application, window, forcesFrames);
    session.play(folder, destination);
    QTimer::singleShot(kGiveUpAfter, [] { QCoreApplication::exit(1); });
    std::printf("%d drawings (%d copies of each example), platform %s, graphics %s, %s\n",
                batch.drawings, copies, qPrintable(QGuiApplication::platformName()),
                graphicsApiName(*window.window()),
                forcesFrames ? "a new frame asked for every 16 ms" : "frames only on changes");
    std::fflush(stdout);

    const int loopStatus = application.exec();
    const RescueViewModel& model = window.model();
    const qint64 checked = model.results().size();
    if (loopStatus != 0 || checked != batch.drawings || model.rescuedCount() != batch.good) {
        std::fprintf(stderr, "the run did not complete: %lld of %d checked, %lld of %d good\n",
                     static_cast<long long>(checked), batch.drawings,
                     static_cast<long long>(model.rescuedCount()), batch.good);
        return 1;
    }
    const bool met = session.report();
    std::printf("status: %s\n", qPrintable(model.currentMessage()));
    std::printf(
        "target (from the drop to the end of the run, no frame gap or stall over %.0f ms): "
        "%s\n",
        kTargetMilliseconds, met ? "met" : "missed");
    return 0;
}
