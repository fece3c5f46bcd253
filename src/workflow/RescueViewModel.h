#pragma once

#include "convert/Fonts.h"
#include "pipeline/RescueRecords.h"
#include "workflow/BackgroundWork.h"
#include "workflow/DrawingScan.h"
#include "workflow/PreviewMetadata.h"
#include "workflow/RescuePlatform.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>

namespace keelwick {

/// The model of the main window and of every batch run: the drawings found, the options,
/// the results of the last run, the status texts, progress values and remaining-time
/// estimates of the analysis and of runs, and three stored settings.
///
/// Confined to the main thread: every field is read and written there and every operation
/// is called there. Long work runs as a chain of steps on the main thread whose per-drawing
/// jobs run on worker threads (`runDetached`): one at a time, except that a run converts up
/// to `options().jobs` drawings at once and collects their results in candidate order.
/// Stopping is cooperative and tested before each drawing starts.
///
/// Observers learn of changes through Qt's change signals, emitted after a field took a new
/// value (not for an assignment of the value it already had). The optional texts
/// (`selectionPreviewEstimate`, `rescueEstimate`, `selectionNotice`) are empty when absent:
/// none of them is ever an empty text.
///
/// Settings live in QSettings under the organization and application "Keelwick".
class RescueViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(keelwick::RescueOptions options READ options WRITE setOptions NOTIFY optionsChanged)
    Q_PROPERTY(QList<keelwick::RescueCandidate> candidates READ candidates NOTIFY candidatesChanged)
    Q_PROPERTY(QList<keelwick::RescueResult> results READ results NOTIFY resultsChanged)
    Q_PROPERTY(bool isRescuing READ isRescuing NOTIFY isRescuingChanged)
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(QString currentMessage READ currentMessage NOTIFY currentMessageChanged)
    Q_PROPERTY(bool showsSelectionPreview READ showsSelectionPreview WRITE setShowsSelectionPreview
                   NOTIFY showsSelectionPreviewChanged)
    Q_PROPERTY(bool isLoadingSelectionPreview READ isLoadingSelectionPreview NOTIFY
                   isLoadingSelectionPreviewChanged)
    Q_PROPERTY(double selectionPreviewProgress READ selectionPreviewProgress NOTIFY
                   selectionPreviewProgressChanged)
    Q_PROPERTY(QString selectionPreviewMessage READ selectionPreviewMessage NOTIFY
                   selectionPreviewMessageChanged)
    Q_PROPERTY(bool isCancellingSelectionPreview READ isCancellingSelectionPreview NOTIFY
                   isCancellingSelectionPreviewChanged)
    Q_PROPERTY(QString selectionPreviewEstimate READ selectionPreviewEstimate NOTIFY
                   selectionPreviewEstimateChanged)
    Q_PROPERTY(QString rescueEstimate READ rescueEstimate NOTIFY rescueEstimateChanged)
    Q_PROPERTY(QString selectionNotice READ selectionNotice NOTIFY selectionNoticeChanged)
    Q_PROPERTY(bool isCancellingRescue READ isCancellingRescue NOTIFY isCancellingRescueChanged)
    Q_PROPERTY(bool rescueWasCancelled READ rescueWasCancelled NOTIFY rescueWasCancelledChanged)
    Q_PROPERTY(bool isDryRun READ isDryRun NOTIFY isDryRunChanged)
    Q_PROPERTY(
        bool outputFolderWasChosen READ outputFolderWasChosen NOTIFY outputFolderWasChosenChanged)
    Q_PROPERTY(qint64 totalRescuedCount READ totalRescuedCount NOTIFY totalRescuedCountChanged)
    Q_PROPERTY(bool didStoreOriginalImages READ didStoreOriginalImages NOTIFY
                   didStoreOriginalImagesChanged)

    // Derived values change with the fields they are computed from.
    Q_PROPERTY(bool canRescue READ canRescue NOTIFY derivedValuesChanged)
    Q_PROPERTY(qint64 rescuedCount READ rescuedCount NOTIFY resultsChanged)
    Q_PROPERTY(qint64 failedCount READ failedCount NOTIFY resultsChanged)
    Q_PROPERTY(
        qint64 embeddedImageCountForResults READ embeddedImageCountForResults NOTIFY resultsChanged)

  public:
    /// The work the model hands to others. The defaults are the real ones; tests replace
    /// them to control time, fonts and what one drawing's analysis or rescue returns.
    struct Services {
        /// The candidates for the chosen paths (runs on the drawing-job thread).
        std::function<ScanFindings(const QStringList&)> scan;
        /// The installed-font sets, fetched once per analysis pass.
        std::function<InstalledFonts()> installedFonts;
        /// The analysis of one drawing (runs on the drawing-job thread).
        std::function<PreviewMetadata(const QString&, const InstalledFonts&)> previewMetadata;
        /// The rescue of one drawing by a fresh converter (runs on the drawing-job thread).
        std::function<RescueResult(const RescueCandidate&, const RescueOptions&)> rescueDrawing;
        /// The clock of the remaining-time estimates.
        std::function<std::chrono::steady_clock::time_point()> now;

        static Services standard();
    };

    /// `platform` must outlive the model. Reads the all-time count from the settings.
    explicit RescueViewModel(RescuePlatform& platform, Services services = Services::standard(),
                             QObject* parent = nullptr);
    ~RescueViewModel() override;

    // ---- Settings keys ---------------------------------------------------------------------
    static inline const QString totalRescuedCountKey = QStringLiteral("totalRescuedDrawingCount");
    static inline const QString lastSourceFolderKey = QStringLiteral("lastSourceFolder");
    static inline const QString lastDestinationFolderKey = QStringLiteral("lastDestinationFolder");

    // ---- Observable fields -----------------------------------------------------------------
    const RescueOptions& options() const { return options_; }
    void setOptions(const RescueOptions& options);
    const QList<RescueCandidate>& candidates() const { return candidates_; }
    const QList<RescueResult>& results() const { return results_; }
    bool isRescuing() const { return isRescuing_; }
    double progress() const { return progress_; }
    const QString& currentMessage() const { return currentMessage_; }
    bool showsSelectionPreview() const { return showsSelectionPreview_; }
    /// The window closes the review dialog by setting this to false.
    void setShowsSelectionPreview(bool shows);
    bool isLoadingSelectionPreview() const { return isLoadingSelectionPreview_; }
    double selectionPreviewProgress() const { return selectionPreviewProgress_; }
    const QString& selectionPreviewMessage() const { return selectionPreviewMessage_; }
    bool isCancellingSelectionPreview() const { return isCancellingSelectionPreview_; }
    const QString& selectionPreviewEstimate() const { return selectionPreviewEstimate_; }
    const QString& rescueEstimate() const { return rescueEstimate_; }
    const QString& selectionNotice() const { return selectionNotice_; }
    bool isCancellingRescue() const { return isCancellingRescue_; }
    bool rescueWasCancelled() const { return rescueWasCancelled_; }
    bool isDryRun() const { return isDryRun_; }
    bool outputFolderWasChosen() const { return outputFolderWasChosen_; }
    qint64 totalRescuedCount() const { return totalRescuedCount_; }
    bool didStoreOriginalImages() const { return didStoreOriginalImages_; }

    // ---- Plain fields ----------------------------------------------------------------------
    /// Every path the user picked or dropped and every destination chosen, in order.
    const QStringList& selectedAccessURLs() const { return selectedAccessURLs_; }
    const std::shared_ptr<BackgroundWork>& selectionPreviewTask() const {
        return selectionPreviewTask_;
    }
    const std::shared_ptr<BackgroundWork>& rescueTask() const { return rescueTask_; }
    /// How many candidates the last scan found more than once (the same drawing named twice,
    /// or named and inside a named folder); each is kept once.
    qint64 duplicateCandidateCount() const { return duplicateCandidateCount_; }
    /// The folders the last scan could not read and passed over; report.txt names them.
    const QStringList& unreadableFolders() const { return unreadableFolders_; }
    /// Whether the last run wrote report.txt (false until a run did, and after a run that
    /// could not write it or had no result to report).
    bool reportWasWritten() const { return reportWasWritten_; }

    // ---- Derived values --------------------------------------------------------------------
    QList<RescueCandidate> selectedCandidates() const;
    bool canRescue() const;
    qint64 rescuedCount() const;
    qint64 failedCount() const;
    qint64 embeddedImageCountForResults() const;
    QList<MissingFontGroup> missingFontGroupsForResults() const;
    QList<MissingFontInspectionIssue> missingFontInspectionIssues() const;

    // ---- Operations ------------------------------------------------------------------------
    /// Lets the user pick drawing files, then scans and analyses them.
    Q_INVOKABLE void chooseDrawings();
    /// Lets the user pick one folder, then scans and analyses it.
    Q_INVOKABLE void chooseFolder();
    /// Accepts a drop: true when at least one item is a local file, which are then scanned
    /// and analysed like chosen ones.
    Q_INVOKABLE bool addDroppedURLs(const QList<QUrl>& urls);
    /// Starts the scan and analysis of the given paths, replacing the current selection.
    /// An earlier scan or analysis stops after its current drawing, without changing
    /// anything further.
    void add(const QStringList& urls);
    Q_INVOKABLE void clearSelection();
    void setSelection(const RescueCandidate& candidate, bool isSelected);
    void setCandidatesSelected(const std::set<QUuid>& ids, bool isSelected);
    Q_INVOKABLE void cancelSelectionPreview();
    /// Lets the user pick the destination; a "Keelwick" folder inside it holds the output
    /// unless the chosen folder is one.
    Q_INVOKABLE void chooseOutputFolder();
    /// Makes `folder` itself the destination, as a destination chosen in a panel would be
    /// after the "Keelwick" rule: for callers that know the exact folder (the command line).
    void useOutputFolder(const QString& folder);
    Q_INVOKABLE void rescue();
    /// Starts a rescue run: like a check, but each drawing's SVG file (and the images, notes
    /// and previews the options ask for) is written into the destination.
    Q_INVOKABLE void rescueAsSVG();
    Q_INVOKABLE void cancelRescue();
    Q_INVOKABLE void revealOutput();

  signals:
    void optionsChanged();
    void candidatesChanged();
    void resultsChanged();
    void isRescuingChanged();
    void progressChanged();
    void currentMessageChanged();
    void showsSelectionPreviewChanged();
    void isLoadingSelectionPreviewChanged();
    void selectionPreviewProgressChanged();
    void selectionPreviewMessageChanged();
    void isCancellingSelectionPreviewChanged();
    void selectionPreviewEstimateChanged();
    void rescueEstimateChanged();
    void selectionNoticeChanged();
    void isCancellingRescueChanged();
    void rescueWasCancelledChanged();
    void isDryRunChanged();
    void outputFolderWasChosenChanged();
    void totalRescuedCountChanged();
    void didStoreOriginalImagesChanged();
    void derivedValuesChanged();

  private:
    struct AnalysisPass;
    struct Run;

    // Selection (finding drawings and the analysis pass).
    QString selectionReadyMessage() const;
    void updateSelectionMessage();
    std::optional<QString> rememberedFolder(const QString& key) const;
    void rememberSourceFolder(const QStringList& urls);
    void choose(const RescuePlatform::OpenPanel& panel);
    /// Shows `panel`; `chosen` runs when the user picked at least one path.
    void askPanel(const RescuePlatform::OpenPanel& panel,
                  std::function<void(const QStringList&)> chosen);
    void useChosenOutputFolder(const QString& folder);
    void beginAnalysis(std::shared_ptr<AnalysisPass> pass);
    void analyseNext(std::shared_ptr<AnalysisPass> pass);
    void completeAnalysis(const std::shared_ptr<AnalysisPass>& pass);
    bool stopsHere(const std::shared_ptr<AnalysisPass>& pass);
    /// The stopped end: `kept` (the drawings analysed before the stop, of `total`) become
    /// the candidates and the notice says so.
    void finishCancelledSelectionPreview(const QList<RescueCandidate>& kept, qsizetype total);
    /// Names the folders the scan passed over in `selectionNotice`, when there were any.
    void announceUnreadableFolders();

    // Runs.
    void beginRun(bool isDryRun);
    void startRun(std::shared_ptr<Run> run);
    /// Starts drawings until the run has as many in flight as it may; ends the run when none
    /// is left in flight.
    void rescueNext(std::shared_ptr<Run> run);
    void startDrawing(const std::shared_ptr<Run>& run, qsizetype index);
    /// Names in the status the first drawing without a result (one started or starting).
    void showAwaitedDrawing(const Run& run);
    /// Moves the results that follow the collected ones in candidate order into `results`.
    void collectFinished(Run& run);
    void endRun(const std::shared_ptr<Run>& run);
    void announceEnd(const std::shared_ptr<Run>& run);
    void finishRescue();
    void releaseAccess(const Run& run);

    // Field assignment with its change signal.
    template <typename Value, typename Signal>
    void assign(Value& field, Value value, Signal changed);
    void setCurrentMessage(QString message);
    void setCandidates(QList<RescueCandidate> candidates);
    void setResults(QList<RescueResult> results);

    RescuePlatform& platform_;
    Services services_;

    RescueOptions options_;
    QList<RescueCandidate> candidates_;
    QList<RescueResult> results_;
    bool isRescuing_ = false;
    double progress_ = 0;
    QString currentMessage_ = QStringLiteral("Ready to rescue.");
    bool showsSelectionPreview_ = false;
    bool isLoadingSelectionPreview_ = false;
    double selectionPreviewProgress_ = 0;
    QString selectionPreviewMessage_ = QStringLiteral("Preparing preview…");
    bool isCancellingSelectionPreview_ = false;
    QString selectionPreviewEstimate_;
    QString rescueEstimate_;
    QString selectionNotice_;
    bool isCancellingRescue_ = false;
    bool rescueWasCancelled_ = false;
    bool isDryRun_ = true;
    bool outputFolderWasChosen_ = false;
    qint64 totalRescuedCount_ = 0;
    bool didStoreOriginalImages_ = true;

    QStringList selectedAccessURLs_;
    std::shared_ptr<BackgroundWork> selectionPreviewTask_;
    std::shared_ptr<BackgroundWork> rescueTask_;
    qint64 duplicateCandidateCount_ = 0;
    QStringList unreadableFolders_;
    bool reportWasWritten_ = false;
    /// Counts the selections made; a pass whose selection was replaced ends silently.
    quint64 selectionGeneration_ = 0;
};

}  // namespace keelwick
