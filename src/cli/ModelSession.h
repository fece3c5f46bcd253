#pragma once

#include "cli/ProgressDisplay.h"
#include "pipeline/InterruptSignal.h"
#include "workflow/RescuePlatform.h"
#include "workflow/RescueViewModel.h"

#include <QStringList>

#include <optional>

namespace keelwick::cli {

/// The command line's side of the workflow model: the model itself (the same one the window
/// drives, so drawings are found, analysed and rescued by the same rules), Ctrl-C, and the
/// progress shown while the model works.
class ModelSession : public RescuePlatform {
  public:
    explicit ModelSession(
        ProgressDisplay::Mode progress,
        RescueViewModel::Services services = RescueViewModel::Services::standard());

    RescueViewModel& model() { return model_; }
    bool wasInterrupted() const { return interrupt_.wasInterrupted(); }

    /// Scans and analyses the paths. False when Ctrl-C stopped the analysis.
    bool analyse(const QStringList& paths);
    /// Runs a check (`isDryRun`) or a rescue of the selected drawings and returns when it has
    /// ended. Ctrl-C stops it after the drawings in progress.
    void runRescue(bool isDryRun);

    // The command line has no panels and no file manager.
    void runOpenPanel(const OpenPanel&, PanelAnswer answer) override { answer(std::nullopt); }
    void revealInFileManager(const QString&) override {}

  private:
    void scheduleShow();
    void showAnalysis();
    void showRun();

    RescueViewModel model_;
    InterruptSignal interrupt_;
    ProgressDisplay display_;
    bool showIsScheduled_ = false;
};

/// The standard services for a run, whose analysis reads no drawing: what it would find (the
/// stored picture, the embedded images, the fonts that are not installed) only a review
/// shows, and each drawing's rescue counts its images and finds its fonts itself. A run thus
/// starts unzip only to unpack each drawing, and holds no stored pictures however many
/// drawings it has.
RescueViewModel::Services servicesForRuns();

/// The paths made absolute, or absent after naming on standard error every path with nothing
/// there.
std::optional<QStringList> existingInputs(const QStringList& paths);

}  // namespace keelwick::cli
