#include "workflow/RescueViewModel.h"

#include "pipeline/DrawingRescue.h"
#include "pipeline/NativePath.h"
#include "workflow/DestinationFolder.h"
#include "workflow/DrawingScan.h"
#include "workflow/MissingFontGroups.h"
#include "workflow/OutputClaims.h"
#include "workflow/StoredPicture.h"
#include "workflow/StoredSettings.h"
#include "workflow/TimeEstimate.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <concepts>

namespace keelwick {
namespace {

/// One drawing's analysis as its candidate keeps it: the stored picture already shrunk to
/// its thumbnail on the drawing-job thread, so the whole JPEG never outlives the job.
struct AnalysedDrawing {
    PreviewMetadata metadata;
    std::optional<StoredPicture> storedPicture;
};

/// What the end of a stopped analysis says: which drawings were kept.
QString stoppedAnalysisNotice(qsizetype kept, qsizetype total) {
    if (kept == 0) {
        return QStringLiteral("Analysis cancelled, please try again.");
    }
    const qsizetype leftOut = total - kept;
    return QStringLiteral(
               "Analysis stopped. The %1 analyzed so far %2 kept; the other %3 %4 "
               "left out.")
        .arg(kept == 1 ? QStringLiteral("1 drawing")
                       : QString::number(kept) + QStringLiteral(" drawings"),
             kept == 1 ? QStringLiteral("is") : QStringLiteral("are"), QString::number(leftOut),
             leftOut == 1 ? QStringLiteral("was") : QStringLiteral("were"));
}

AnalysedDrawing analysedDrawing(PreviewMetadata metadata) {
    AnalysedDrawing drawing;
    if (metadata.previewJPEGData) {
        drawing.storedPicture = storedPicture(*metadata.previewJPEGData);
        metadata.previewJPEGData.reset();
    }
    drawing.metadata = std::move(metadata);
    return drawing;
}

/// The drawings of a selection after the scan: de-duplicated and in display order.
struct ScanOutcome {
    QList<RescueCandidate> candidates;
    qint64 duplicateCount = 0;
    QStringList unreadableFolders;
};

ScanOutcome scanned(ScanFindings found) {
    QList<RescueCandidate> unique = deduplicated(found.candidates);
    const qint64 duplicates = found.candidates.size() - unique.size();
    std::sort(found.unreadableFolders.begin(), found.unreadableFolders.end(),
              [](const QString& left, const QString& right) {
                  return localizedStandardCompare(left, right) < 0;
              });
    return ScanOutcome{sortedByDisplayPath(std::move(unique)), duplicates,
                       std::move(found.unreadableFolders)};
}

QString decimal(qint64 count) {
    return QString::number(count);
}

/// The texts that tell a check run from a rescue run.
struct RunTexts {
    QString starting;
    QString drawingPrefix;
    QString done;
    QString cancelledPrefix;
    QString noDestination;
    QString reportFailed;

    static const RunTexts& of(bool isDryRun) {
        static const RunTexts check{
            QStringLiteral("Checking the drawings…"),
            QStringLiteral("Checking "),
            QStringLiteral("checked; preview images saved"),
            QStringLiteral("Dry run cancelled — "),
            QStringLiteral("Choose where to save the PNG preview images."),
            QStringLiteral("Preview images are ready, but report.txt could not be written: ")};
        static const RunTexts rescue{
            QStringLiteral("Rescuing the drawings…"),
            QStringLiteral("Rescuing "),
            QStringLiteral("rescued as SVG"),
            QStringLiteral("Rescue cancelled — "),
            QStringLiteral("Choose where to save the rescued SVGs."),
            QStringLiteral("The SVG files are saved, but report.txt could not be written: ")};
        return isDryRun ? check : rescue;
    }
};

/// The notice for folders the scan passed over: the first few by name, then how many more.
QString unreadableFoldersNotice(const QStringList& folders) {
    constexpr qsizetype namedFolders = 3;
    if (folders.size() == 1) {
        return QStringLiteral("Could not read the folder ") + readablePath(folders.front()) +
               QStringLiteral("; drawings inside it were passed over.");
    }
    QStringList named;
    for (const QString& folder : folders.first(std::min(folders.size(), namedFolders))) {
        named.append(readablePath(folder));
    }
    QString notice = QStringLiteral("Could not read ") + decimal(folders.size()) +
                     QStringLiteral(" folders; drawings inside them were passed over: ") +
                     named.join(QStringLiteral(", "));
    if (folders.size() > namedFolders) {
        notice += QStringLiteral(" and ") + decimal(folders.size() - namedFolders) +
                  QStringLiteral(" more");
    }
    return notice + u'.';
}

}  // namespace

/// One scan and analysis pass over a selection.
struct RescueViewModel::AnalysisPass {
    std::shared_ptr<BackgroundWork> work;
    quint64 generation = 0;
    QList<RescueCandidate> pending;
    QList<RescueCandidate> analysed;
    InstalledFonts installedFonts;
    std::chrono::steady_clock::time_point start;
};

/// One run over the selected drawings.
struct RescueViewModel::Run {
    std::shared_ptr<BackgroundWork> work;
    /// Every path access was asked for, with whether it was granted.
    QList<std::pair<QString, bool>> accessList;
    QList<RescueCandidate> selection;
    RescueOptions options;
    std::chrono::steady_clock::time_point start;
    /// The results in candidate order: a drawing's result waits in `finished` until every
    /// drawing before it has its own.
    QList<RescueResult> results;
    QHash<qsizetype, RescueResult> finished;
    /// How many drawings of the selection have been started, and how many of those run.
    qsizetype started = 0;
    qsizetype inFlight = 0;
    bool isStartingDrawings = false;
    bool wasStopped = false;
    OutputClaims claims;
};

RescueViewModel::Services RescueViewModel::Services::standard() {
    Services services;
    services.scan = [](const QStringList& urls) { return keelwick::scan(urls); };
    // Drawings whose names are not UTF-8 are analysed through a path the tools can open.
    services.previewMetadata = [](const QString& archive, const InstalledFonts& fonts) {
        const ReachablePath reachable(archive);
        return keelwick::previewMetadata(reachable.path(), fonts);
    };
    services.installedFonts = [] { return InstalledFonts::fetch(); };
    services.rescueDrawing = [](const RescueCandidate& candidate, const RescueOptions& options) {
        return keelwick::rescueDrawing(candidate, options);
    };
    services.now = [] { return std::chrono::steady_clock::now(); };
    return services;
}

RescueViewModel::RescueViewModel(RescuePlatform& platform, Services services, QObject* parent)
    : QObject(parent), platform_(platform), services_(std::move(services)) {
    totalRescuedCount_ = storedSettings().value(totalRescuedCountKey, 0).toLongLong();
    // The derived values follow every field they are computed from.
    for (auto changed : {&RescueViewModel::candidatesChanged, &RescueViewModel::isRescuingChanged,
                         &RescueViewModel::isLoadingSelectionPreviewChanged,
                         &RescueViewModel::outputFolderWasChosenChanged}) {
        connect(this, changed, this, &RescueViewModel::derivedValuesChanged);
    }
}

RescueViewModel::~RescueViewModel() = default;

// ---- Fields ------------------------------------------------------------------------------

template <typename Value, typename Signal>
void RescueViewModel::assign(Value& field, Value value, Signal changed) {
    if constexpr (std::equality_comparable<Value>) {
        if (field == value) {
            return;
        }
    }
    field = std::move(value);
    emit(this->*changed)();
}

void RescueViewModel::setOptions(const RescueOptions& options) {
    options_ = options;
    emit optionsChanged();
}

void RescueViewModel::setShowsSelectionPreview(bool shows) {
    assign(showsSelectionPreview_, shows, &RescueViewModel::showsSelectionPreviewChanged);
}

void RescueViewModel::setCurrentMessage(QString message) {
    assign(currentMessage_, std::move(message), &RescueViewModel::currentMessageChanged);
}

void RescueViewModel::setCandidates(QList<RescueCandidate> candidates) {
    assign(candidates_, std::move(candidates), &RescueViewModel::candidatesChanged);
}

void RescueViewModel::setResults(QList<RescueResult> results) {
    // Results have no equality: every assignment is announced.
    results_ = std::move(results);
    emit resultsChanged();
}

// ---- Derived values ----------------------------------------------------------------------

QList<RescueCandidate> RescueViewModel::selectedCandidates() const {
    QList<RescueCandidate> selected;
    std::copy_if(candidates_.begin(), candidates_.end(), std::back_inserter(selected),
                 [](const RescueCandidate& candidate) { return candidate.isSelected; });
    return selected;
}

bool RescueViewModel::canRescue() const {
    const bool anySelected =
        std::any_of(candidates_.begin(), candidates_.end(),
                    [](const auto& candidate) { return candidate.isSelected; });
    return anySelected && !isRescuing_ && !isLoadingSelectionPreview_ && outputFolderWasChosen_;
}

qint64 RescueViewModel::rescuedCount() const {
    return std::count_if(results_.begin(), results_.end(),
                         [](const RescueResult& result) { return result.succeeded(); });
}

qint64 RescueViewModel::failedCount() const {
    return results_.size() - rescuedCount();
}

qint64 RescueViewModel::embeddedImageCountForResults() const {
    qint64 sum = 0;
    for (const RescueResult& result : results_) {
        sum += result.embeddedImageCount;
    }
    return sum;
}

QList<MissingFontGroup> RescueViewModel::missingFontGroupsForResults() const {
    // Each candidate's path is standardized once, not once per result: a run over thousands
    // of drawings would otherwise take minutes here.
    QHash<QString, const RescueCandidate*> candidateAt;
    for (const RescueCandidate& candidate : candidates_) {
        const QString path = standardizedPath(candidate.url);
        if (!candidateAt.contains(path)) {  // the first wins, as in the candidates' order
            candidateAt.insert(path, &candidate);
        }
    }
    return missingFontGroups(results_, [&](const RescueResult& result) -> QString {
        const auto found = candidateAt.constFind(standardizedPath(result.sourceURL));
        if (found == candidateAt.constEnd()) {
            return result.sourceURL;
        }
        return displayPath(RescueCandidate(result.sourceURL, (*found)->baseFolder));
    });
}

QList<MissingFontInspectionIssue> RescueViewModel::missingFontInspectionIssues() const {
    return keelwick::missingFontInspectionIssues(selectedCandidates());
}

// ---- Messages and settings -----------------------------------------------------------------

QString RescueViewModel::selectionReadyMessage() const {
    return decimal(selectedCandidates().size()) + QStringLiteral(" of ") +
           decimal(candidates_.size()) + QStringLiteral(" drawings ready to rescue.");
}

void RescueViewModel::updateSelectionMessage() {
    if (candidates_.isEmpty()) {
        setCurrentMessage(QStringLiteral("No Graphic/iDraw drawings found yet."));
    } else if (selectedCandidates().isEmpty()) {
        setCurrentMessage(QStringLiteral("Select at least one drawing in the preview."));
    } else if (!outputFolderWasChosen_) {
        setCurrentMessage(QStringLiteral("Choose where to save the rescued SVGs."));
    } else {
        setCurrentMessage(selectionReadyMessage());
    }
}

std::optional<QString> RescueViewModel::rememberedFolder(const QString& key) const {
    const QVariant stored = storedSettings().value(key);
    if (!stored.isValid()) {
        return std::nullopt;
    }
    const QString path = stored.toString();
    if (path.isEmpty() || !QFileInfo(path).isDir()) {
        return std::nullopt;
    }
    return path;
}

void RescueViewModel::rememberSourceFolder(const QStringList& urls) {
    if (urls.isEmpty()) {
        return;
    }
    const QString first = urls.front();
    const QString folder = QFileInfo(first).isDir() ? first : QFileInfo(first).path();
    storedSettings().setValue(lastSourceFolderKey, standardizedPath(folder));
}

// ---- Choosing drawings and destinations ------------------------------------------------------

void RescueViewModel::choose(const RescuePlatform::OpenPanel& panel) {
    askPanel(panel, [this](const QStringList& chosen) {
        rememberSourceFolder(chosen);
        selectedAccessURLs_.append(chosen);
        add(chosen);
    });
}

void RescueViewModel::askPanel(const RescuePlatform::OpenPanel& panel,
                               std::function<void(const QStringList&)> chosen) {
    // The panel may answer after the model is gone (the window closed while it was up).
    QPointer<RescueViewModel> self(this);
    platform_.runOpenPanel(
        panel, [self, chosen = std::move(chosen)](const std::optional<QStringList>& answer) {
            if (self && answer && !answer->isEmpty()) {
                chosen(*answer);
            }
        });
}

void RescueViewModel::chooseDrawings() {
    RescuePlatform::OpenPanel panel;
    panel.title = QStringLiteral("Choose Graphic/iDraw file(s)");
    panel.prompt = QStringLiteral("Choose File(s)");
    panel.allowsMultipleSelection = true;
    panel.allowedExtensions = {QStringLiteral("idraw")};
    panel.startFolder = rememberedFolder(lastSourceFolderKey);
    choose(panel);
}

void RescueViewModel::chooseFolder() {
    RescuePlatform::OpenPanel panel;
    panel.title = QStringLiteral("Choose a folder with Graphic/iDraw drawings");
    panel.prompt = QStringLiteral("Choose Folder");
    panel.canChooseFiles = false;
    panel.canChooseDirectories = true;
    panel.startFolder = rememberedFolder(lastSourceFolderKey);
    choose(panel);
}

bool RescueViewModel::addDroppedURLs(const QList<QUrl>& urls) {
    QStringList paths;
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) {
            paths.append(url.toLocalFile());
        }
    }
    if (paths.isEmpty()) {
        return false;
    }
    rememberSourceFolder(paths);
    selectedAccessURLs_.append(paths);
    add(paths);
    return true;
}

void RescueViewModel::chooseOutputFolder() {
    RescuePlatform::OpenPanel panel;
    panel.title = QStringLiteral("Where should Keelwick save the preview images?");
    panel.message = QStringLiteral("Choose a folder for preview images.");
    panel.prompt = QStringLiteral("Use This Folder");
    panel.canChooseFiles = false;
    panel.canChooseDirectories = true;
    panel.canCreateDirectories = true;
    panel.startFolder =
        rememberedFolder(lastDestinationFolderKey)
            .value_or(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    askPanel(panel, [this](const QStringList& chosen) { useChosenOutputFolder(chosen.front()); });
}

void RescueViewModel::useChosenOutputFolder(const QString& folder) {
    storedSettings().setValue(lastDestinationFolderKey, standardizedPath(folder));
    const bool isKeelwickFolder = lastPathComponent(folder) == QLatin1StringView("Keelwick");
    useOutputFolder(isKeelwickFolder ? folder : QDir(folder).filePath(QStringLiteral("Keelwick")));
    // Access is asked for the folder the user picked, not the one appended to it.
    selectedAccessURLs_.back() = folder;
}

void RescueViewModel::useOutputFolder(const QString& folder) {
    options_.outputFolder = folder;
    emit optionsChanged();
    assign(outputFolderWasChosen_, true, &RescueViewModel::outputFolderWasChosenChanged);
    selectedAccessURLs_.append(folder);
    setCurrentMessage(candidates_.isEmpty()
                          ? QStringLiteral("Choose Graphic/iDraw drawings to rescue.")
                          : selectionReadyMessage());
}

void RescueViewModel::clearSelection() {
    if (selectionPreviewTask_) {
        selectionPreviewTask_->cancel();
        selectionPreviewTask_.reset();
    }
    assign(isCancellingSelectionPreview_, false,
           &RescueViewModel::isCancellingSelectionPreviewChanged);
    assign(selectionNotice_, QString(), &RescueViewModel::selectionNoticeChanged);
    setCandidates({});
    unreadableFolders_.clear();
    setResults({});
    assign(progress_, 0.0, &RescueViewModel::progressChanged);
    assign(showsSelectionPreview_, false, &RescueViewModel::showsSelectionPreviewChanged);
    assign(isLoadingSelectionPreview_, false, &RescueViewModel::isLoadingSelectionPreviewChanged);
    assign(selectionPreviewProgress_, 0.0, &RescueViewModel::selectionPreviewProgressChanged);
    setCurrentMessage(QStringLiteral("Ready to rescue."));
}

void RescueViewModel::setSelection(const RescueCandidate& candidate, bool isSelected) {
    const auto found = std::find_if(candidates_.begin(), candidates_.end(),
                                    [&](const auto& other) { return other.id == candidate.id; });
    if (found == candidates_.end()) {
        return;
    }
    found->isSelected = isSelected;
    emit candidatesChanged();
    setResults({});
    updateSelectionMessage();
}

void RescueViewModel::setCandidatesSelected(const std::set<QUuid>& ids, bool isSelected) {
    if (ids.empty()) {
        return;
    }
    for (RescueCandidate& candidate : candidates_) {
        if (ids.contains(candidate.id)) {
            candidate.isSelected = isSelected;
        }
    }
    emit candidatesChanged();
    setResults({});
    updateSelectionMessage();
}

void RescueViewModel::revealOutput() {
    platform_.revealInFileManager(options_.outputFolder);
}

// ---- Scan and analysis -----------------------------------------------------------------------

void RescueViewModel::add(const QStringList& urls) {
    setCandidates({});
    setResults({});
    assign(progress_, 0.0, &RescueViewModel::progressChanged);
    assign(showsSelectionPreview_, true, &RescueViewModel::showsSelectionPreviewChanged);
    assign(isLoadingSelectionPreview_, true, &RescueViewModel::isLoadingSelectionPreviewChanged);
    assign(isCancellingSelectionPreview_, false,
           &RescueViewModel::isCancellingSelectionPreviewChanged);
    assign(selectionNotice_, QString(), &RescueViewModel::selectionNoticeChanged);
    assign(selectionPreviewProgress_, 0.0, &RescueViewModel::selectionPreviewProgressChanged);
    assign(selectionPreviewEstimate_, QString(), &RescueViewModel::selectionPreviewEstimateChanged);
    assign(selectionPreviewMessage_, QStringLiteral("Scanning selected files and folders…"),
           &RescueViewModel::selectionPreviewMessageChanged);

    // The earlier pass, if any, stops after its current drawing and changes nothing more.
    if (selectionPreviewTask_) {
        selectionPreviewTask_->cancel();
    }
    auto pass = std::make_shared<AnalysisPass>();
    pass->work = std::make_shared<BackgroundWork>();
    pass->generation = ++selectionGeneration_;
    selectionPreviewTask_ = pass->work;
    runDetached(
        this, [scan = services_.scan, urls] { return scanned(scan(urls)); },
        [this, pass](ScanOutcome outcome) {
            if (pass->generation == selectionGeneration_) {
                duplicateCandidateCount_ = outcome.duplicateCount;
                unreadableFolders_ = std::move(outcome.unreadableFolders);
            }
            pass->pending = std::move(outcome.candidates);
            beginAnalysis(pass);
        });
}

bool RescueViewModel::stopsHere(const std::shared_ptr<AnalysisPass>& pass) {
    if (pass->generation != selectionGeneration_) {
        return true;  // replaced by a newer selection: end without a word
    }
    const bool isLastDrawingDone =
        !pass->pending.isEmpty() && pass->analysed.size() == pass->pending.size();
    // A stop is tested before each drawing, not after the last: the pass then completes.
    // A selection cleared meanwhile stays cleared, though, so that pass ends as stopped.
    const bool wasCleared = selectionPreviewTask_ != pass->work;
    if (pass->work->isCancelled() && (!isLastDrawingDone || wasCleared)) {
        // A stop keeps the drawings analysed so far, as the review promised while stopping.
        finishCancelledSelectionPreview(wasCleared ? QList<RescueCandidate>() : pass->analysed,
                                        pass->pending.size());
        return true;
    }
    return false;
}

void RescueViewModel::beginAnalysis(std::shared_ptr<AnalysisPass> pass) {
    if (stopsHere(pass)) {
        return;
    }
    if (pass->pending.isEmpty()) {
        assign(isLoadingSelectionPreview_, false,
               &RescueViewModel::isLoadingSelectionPreviewChanged);
        assign(selectionPreviewProgress_, 1.0, &RescueViewModel::selectionPreviewProgressChanged);
        updateSelectionMessage();
        announceUnreadableFolders();
        return;
    }
    pass->installedFonts = services_.installedFonts();
    pass->start = services_.now();
    analyseNext(std::move(pass));
}

void RescueViewModel::analyseNext(std::shared_ptr<AnalysisPass> pass) {
    if (stopsHere(pass)) {
        return;
    }
    const qsizetype index = pass->analysed.size();
    const qsizetype total = pass->pending.size();
    if (index == total) {
        completeAnalysis(pass);
        return;
    }
    const RescueCandidate& candidate = pass->pending.at(index);
    assign(selectionPreviewMessage_,
           QStringLiteral("Analyzing ") + decimal(index + 1) + QStringLiteral(" of ") +
               decimal(total) + QStringLiteral(": ") +
               readablePath(lastPathComponent(candidate.url)),
           &RescueViewModel::selectionPreviewMessageChanged);
    assign(selectionPreviewProgress_, static_cast<double>(index) / static_cast<double>(total),
           &RescueViewModel::selectionPreviewProgressChanged);
    runDetached(
        this,
        [analyse = services_.previewMetadata, url = candidate.url, fonts = pass->installedFonts] {
            return analysedDrawing(analyse(url, fonts));
        },
        [this, pass](AnalysedDrawing drawing) {
            PreviewMetadata& metadata = drawing.metadata;
            RescueCandidate analysed = pass->pending.at(pass->analysed.size());
            analysed.storedPicture = std::move(drawing.storedPicture);
            analysed.embeddedImageCount = metadata.embeddedImageCount;
            analysed.missingFonts = std::move(metadata.missingFonts);
            analysed.fontInspectionError = std::move(metadata.fontInspectionError);
            pass->analysed.append(std::move(analysed));
            if (pass->generation == selectionGeneration_) {
                assign(selectionPreviewEstimate_,
                       estimatedTimeRemaining(pass->start, pass->analysed.size(),
                                              pass->pending.size(), services_.now())
                           .value_or(QString()),
                       &RescueViewModel::selectionPreviewEstimateChanged);
            }
            analyseNext(pass);
        });
}

void RescueViewModel::completeAnalysis(const std::shared_ptr<AnalysisPass>& pass) {
    setCandidates(sortedByDisplayPath(candidates_ + pass->analysed));
    assign(selectionPreviewProgress_, 1.0, &RescueViewModel::selectionPreviewProgressChanged);
    assign(selectionPreviewEstimate_, QString(), &RescueViewModel::selectionPreviewEstimateChanged);
    assign(isLoadingSelectionPreview_, false, &RescueViewModel::isLoadingSelectionPreviewChanged);
    assign(isCancellingSelectionPreview_, false,
           &RescueViewModel::isCancellingSelectionPreviewChanged);
    updateSelectionMessage();
    announceUnreadableFolders();
}

void RescueViewModel::announceUnreadableFolders() {
    if (!unreadableFolders_.isEmpty()) {
        assign(selectionNotice_, unreadableFoldersNotice(unreadableFolders_),
               &RescueViewModel::selectionNoticeChanged);
    }
}

void RescueViewModel::cancelSelectionPreview() {
    if (!isLoadingSelectionPreview_ || isCancellingSelectionPreview_) {
        return;
    }
    assign(isCancellingSelectionPreview_, true,
           &RescueViewModel::isCancellingSelectionPreviewChanged);
    assign(selectionPreviewMessage_, QStringLiteral("Stopping analysis…"),
           &RescueViewModel::selectionPreviewMessageChanged);
    if (selectionPreviewTask_) {
        selectionPreviewTask_->cancel();
    }
}

void RescueViewModel::finishCancelledSelectionPreview(const QList<RescueCandidate>& kept,
                                                      qsizetype total) {
    assign(isLoadingSelectionPreview_, false, &RescueViewModel::isLoadingSelectionPreviewChanged);
    assign(isCancellingSelectionPreview_, false,
           &RescueViewModel::isCancellingSelectionPreviewChanged);
    selectionPreviewTask_.reset();
    assign(selectionPreviewMessage_, QStringLiteral("Analysis cancelled."),
           &RescueViewModel::selectionPreviewMessageChanged);
    assign(selectionPreviewProgress_, 0.0, &RescueViewModel::selectionPreviewProgressChanged);
    assign(selectionPreviewEstimate_, QString(), &RescueViewModel::selectionPreviewEstimateChanged);
    assign(showsSelectionPreview_, false, &RescueViewModel::showsSelectionPreviewChanged);
    setCandidates(sortedByDisplayPath(kept));
    setResults({});
    assign(progress_, 0.0, &RescueViewModel::progressChanged);
    assign(selectionNotice_, stoppedAnalysisNotice(kept.size(), total),
           &RescueViewModel::selectionNoticeChanged);
    if (kept.isEmpty()) {
        setCurrentMessage(QStringLiteral("Ready to rescue."));
    } else {
        updateSelectionMessage();
    }
}

// ---- Runs ------------------------------------------------------------------------------------

void RescueViewModel::rescue() {
    beginRun(true);
}

void RescueViewModel::rescueAsSVG() {
    beginRun(false);
}

void RescueViewModel::beginRun(bool isDryRun) {
    const RunTexts& texts = RunTexts::of(isDryRun);
    if (!canRescue()) {
        if (!outputFolderWasChosen_) {
            setCurrentMessage(texts.noDestination);
        }
        return;
    }
    assign(isRescuing_, true, &RescueViewModel::isRescuingChanged);
    assign(isCancellingRescue_, false, &RescueViewModel::isCancellingRescueChanged);
    assign(rescueWasCancelled_, false, &RescueViewModel::rescueWasCancelledChanged);
    assign(isDryRun_, isDryRun, &RescueViewModel::isDryRunChanged);
    assign(rescueEstimate_, QString(), &RescueViewModel::rescueEstimateChanged);
    assign(selectionNotice_, QString(), &RescueViewModel::selectionNoticeChanged);
    setResults({});
    assign(progress_, 0.0, &RescueViewModel::progressChanged);
    setCurrentMessage(texts.starting);

    reportWasWritten_ = false;
    auto run = std::make_shared<Run>();
    run->work = std::make_shared<BackgroundWork>();
    rescueTask_ = run->work;
    // The run begins once the caller has seen the starting state.
    QTimer::singleShot(0, this, [this, run] { startRun(run); });
}

void RescueViewModel::startRun(std::shared_ptr<Run> run) {
    for (const QString& url : QStringList{options_.outputFolder} + selectedAccessURLs_) {
        run->accessList.append({url, platform_.startAccessingSecurityScopedResource(url)});
    }
    setCurrentMessage(QStringLiteral("Checking save permissions…"));
    // The check touches the disk (and may wait on it), so it runs off the main thread.
    runDetached(
        this, [folder = options_.outputFolder] { return preflightWriteAccess(folder); },
        [this, run](std::optional<QString> failure) {
            if (failure) {
                finishRescue();
                setCurrentMessage(*failure);
                releaseAccess(*run);
                return;
            }
            run->selection = selectedCandidates();
            run->options = options_;
            run->options.isDryRun = isDryRun_;
            run->options.jobs = std::max(1, run->options.jobs);
            assign(didStoreOriginalImages_, false, &RescueViewModel::didStoreOriginalImagesChanged);
            run->start = services_.now();
            setDrawingJobThreads(run->options.jobs);
            rescueNext(run);
        });
}

void RescueViewModel::rescueNext(std::shared_ptr<Run> run) {
    // A drawing that finished before its start returned hands its result back at once,
    // from inside the loop below: the loop then goes on by itself.
    if (run->isStartingDrawings) {
        return;
    }
    run->isStartingDrawings = true;
    const qsizetype total = run->selection.size();
    // The stop is tested before each drawing starts, not after the last has started: the
    // drawings in flight always finish, and their results are the run's.
    while (run->inFlight < run->options.jobs && run->started < total) {
        if (run->work->isCancelled()) {
            run->wasStopped = true;
            break;
        }
        showAwaitedDrawing(*run);
        startDrawing(run, run->started++);
    }
    run->isStartingDrawings = false;
    if (run->inFlight == 0) {
        endRun(run);
        return;
    }
    showAwaitedDrawing(*run);
}

void RescueViewModel::showAwaitedDrawing(const Run& run) {
    // The status names the drawing whose result comes next, as in a run of one at a time;
    // once a stop is asked for, it keeps saying so.
    if (!run.work->isCancelled()) {
        const RescueCandidate& awaited = run.selection.at(run.results.size());
        setCurrentMessage(RunTexts::of(run.options.isDryRun).drawingPrefix +
                          readablePath(lastPathComponent(awaited.url)) + QStringLiteral("…"));
    }
}

void RescueViewModel::startDrawing(const std::shared_ptr<Run>& run, qsizetype index) {
    const RescueCandidate& candidate = run->selection.at(index);
    ++run->inFlight;
    runDetached(
        this,
        [rescueDrawing = services_.rescueDrawing, candidate, options = run->options,
         refusal = run->claims.claim(candidate, run->options)] {
            return refusal ? refusedRescue(candidate, options, *refusal)
                           : rescueDrawing(candidate, options);
        },
        [this, run, index](RescueResult result) {
            --run->inFlight;
            run->finished.insert(index, std::move(result));
            collectFinished(*run);
            rescueNext(run);
        });
}

void RescueViewModel::collectFinished(Run& run) {
    const qsizetype total = run.selection.size();
    while (run.finished.contains(run.results.size())) {
        run.results.append(run.finished.take(run.results.size()));
        setResults(run.results);
        const qsizetype done = run.results.size();
        assign(progress_, static_cast<double>(done) / static_cast<double>(total),
               &RescueViewModel::progressChanged);
        assign(rescueEstimate_,
               estimatedTimeRemaining(run.start, done, total, services_.now()).value_or(QString()),
               &RescueViewModel::rescueEstimateChanged);
    }
}

void RescueViewModel::endRun(const std::shared_ptr<Run>& run) {
    const qint64 succeeded = std::count_if(run->results.begin(), run->results.end(),
                                           [](const auto& result) { return result.succeeded(); });
    if (succeeded > 0) {
        assign(totalRescuedCount_, totalRescuedCount_ + succeeded,
               &RescueViewModel::totalRescuedCountChanged);
        storedSettings().setValue(totalRescuedCountKey, totalRescuedCount_);
    }
    const bool storedImages =
        !run->options.isDryRun && run->options.storeOriginalImages &&
        std::any_of(run->results.begin(), run->results.end(), [](const RescueResult& result) {
            return result.succeeded() && result.embeddedImageCount > 0;
        });
    if (storedImages) {
        assign(didStoreOriginalImages_, true, &RescueViewModel::didStoreOriginalImagesChanged);
    }
    if (run->results.isEmpty()) {
        announceEnd(run);
        return;
    }
    runDetached(
        this,
        [results = run->results, folder = options_.outputFolder, unreadable = unreadableFolders_] {
            return writeRescueReport(results, folder, unreadable);
        },
        [this, run](std::optional<QString> failure) {
            if (failure) {
                finishRescue();
                setCurrentMessage(RunTexts::of(run->options.isDryRun).reportFailed + *failure);
                releaseAccess(*run);
                return;
            }
            reportWasWritten_ = true;
            announceEnd(run);
        });
}

void RescueViewModel::announceEnd(const std::shared_ptr<Run>& run) {
    finishRescue();
    const RunTexts& texts = RunTexts::of(run->options.isDryRun);
    const QString& done = texts.done;
    const qint64 rescued = rescuedCount();
    const qint64 failed = failedCount();
    if (run->wasStopped) {
        assign(rescueWasCancelled_, true, &RescueViewModel::rescueWasCancelledChanged);
        setCurrentMessage(texts.cancelledPrefix + decimal(rescued) + QStringLiteral(" of ") +
                          decimal(run->selection.size()) + QStringLiteral(" drawings were ") +
                          done + QStringLiteral("."));
    } else if (failed > 0) {
        setCurrentMessage(decimal(rescued) + QStringLiteral(" drawings ") + done +
                          QStringLiteral(", ") + decimal(failed) +
                          QStringLiteral(" need attention."));
    } else {
        setCurrentMessage(decimal(rescued) + QStringLiteral(" drawings ") + done +
                          QStringLiteral("."));
    }
    releaseAccess(*run);
}

void RescueViewModel::finishRescue() {
    assign(isRescuing_, false, &RescueViewModel::isRescuingChanged);
    assign(isCancellingRescue_, false, &RescueViewModel::isCancellingRescueChanged);
    assign(rescueEstimate_, QString(), &RescueViewModel::rescueEstimateChanged);
    rescueTask_.reset();
    setDrawingJobThreads(1);
}

void RescueViewModel::releaseAccess(const Run& run) {
    for (const auto& [url, granted] : run.accessList) {
        if (granted) {
            platform_.stopAccessingSecurityScopedResource(url);
        }
    }
}

void RescueViewModel::cancelRescue() {
    if (!isRescuing_ || isCancellingRescue_) {
        return;
    }
    assign(isCancellingRescue_, true, &RescueViewModel::isCancellingRescueChanged);
    setCurrentMessage(QStringLiteral("Finishing the current drawing, then stopping…"));
    if (rescueTask_) {
        rescueTask_->cancel();
    }
}

}  // namespace keelwick
