#include "cli/ModelSession.h"

#include "cli/CommandLine.h"
#include "pipeline/NativePath.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

namespace keelwick::cli {
namespace {

/// Spins the event loop until `model` emits `changed` with `isDone()` true.
template <typename Signal, typename Predicate>
void waitFor(RescueViewModel& model, Signal changed, Predicate isDone) {
    if (isDone()) {
        return;
    }
    QEventLoop loop;
    QObject::connect(&model, changed, &loop, [&] {
        if (isDone()) {
            loop.quit();
        }
    });
    loop.exec();
}

/// Connections that last as long as this value.
class ScopedConnections {
  public:
    ScopedConnections() = default;
    ScopedConnections(const ScopedConnections&) = delete;
    ScopedConnections& operator=(const ScopedConnections&) = delete;
    ~ScopedConnections() {
        for (const QMetaObject::Connection& connection : connections_) {
            QObject::disconnect(connection);
        }
    }
    void add(QMetaObject::Connection connection) { connections_.append(connection); }

  private:
    QList<QMetaObject::Connection> connections_;
};

}  // namespace

ModelSession::ModelSession(ProgressDisplay::Mode progress, RescueViewModel::Services services)
    : model_(*this, std::move(services)), display_(progress) {}

RescueViewModel::Services servicesForRuns() {
    RescueViewModel::Services services = RescueViewModel::Services::standard();
    services.installedFonts = [] { return InstalledFonts(); };
    services.previewMetadata = [](const QString&, const InstalledFonts&) {
        return PreviewMetadata();
    };
    return services;
}

bool ModelSession::analyse(const QStringList& paths) {
    {
        ScopedConnections connections;
        connections.add(QObject::connect(&interrupt_, &InterruptSignal::interrupted, &model_,
                                         &RescueViewModel::cancelSelectionPreview));
        for (auto changed : {&RescueViewModel::selectionPreviewMessageChanged,
                             &RescueViewModel::selectionPreviewProgressChanged,
                             &RescueViewModel::selectionPreviewEstimateChanged}) {
            connections.add(QObject::connect(&model_, changed, [this] { scheduleShow(); }));
        }
        model_.add(paths);
        showAnalysis();
        waitFor(model_, &RescueViewModel::isLoadingSelectionPreviewChanged,
                [this] { return !model_.isLoadingSelectionPreview(); });
    }
    display_.finish();
    const bool completed = model_.showsSelectionPreview();  // the stopped end closes the review
    if (!completed) {
        // The window keeps what was analysed before a stop; a command stops altogether.
        printError(QStringLiteral("Analysis cancelled, please try again."));
    } else if (!model_.selectionNotice().isEmpty()) {
        printError(model_.selectionNotice());
    }
    return completed;
}

void ModelSession::scheduleShow() {
    // The model changes several fields in one step: show them once, after the step.
    if (!showIsScheduled_) {
        showIsScheduled_ = true;
        QTimer::singleShot(0, &model_, [this] {
            showIsScheduled_ = false;
            showAnalysis();
            showRun();
        });
    }
}

void ModelSession::showAnalysis() {
    if (model_.isLoadingSelectionPreview()) {
        display_.show(model_.selectionPreviewProgress(), model_.selectionPreviewMessage(),
                      model_.selectionPreviewEstimate());
    }
}

void ModelSession::runRescue(bool isDryRun) {
    {
        ScopedConnections connections;
        connections.add(QObject::connect(&interrupt_, &InterruptSignal::interrupted, &model_,
                                         &RescueViewModel::cancelRescue));
        for (auto changed :
             {&RescueViewModel::currentMessageChanged, &RescueViewModel::progressChanged,
              &RescueViewModel::rescueEstimateChanged}) {
            connections.add(QObject::connect(&model_, changed, [this] { scheduleShow(); }));
        }
        if (isDryRun) {
            model_.rescue();
        } else {
            model_.rescueAsSVG();
        }
        showRun();
        waitFor(model_, &RescueViewModel::isRescuingChanged,
                [this] { return !model_.isRescuing(); });
    }
    display_.finish();
}

void ModelSession::showRun() {
    if (model_.isRescuing()) {
        display_.show(model_.progress(), model_.currentMessage(), model_.rescueEstimate());
    }
}

std::optional<QStringList> existingInputs(const QStringList& paths) {
    QStringList absolute;
    bool allExist = true;
    for (const QString& path : paths) {
        const ReachablePath reachable(path);
        const QFileInfo info(reachable.path());
        if (!info.exists()) {
            printError(QStringLiteral("%1: no such file or folder").arg(readablePath(path)));
            allExist = false;
        } else if (info.isDir() && !info.isReadable()) {
            printError(QStringLiteral("%1: the folder cannot be read").arg(readablePath(path)));
            allExist = false;
        }
        absolute.append(QFileInfo(path).absoluteFilePath());
    }
    return allExist ? std::optional(absolute) : std::nullopt;
}

}  // namespace keelwick::cli
