#include "ui/WindowState.h"

#include "pipeline/AppIdentity.h"

#include "workflow/StoredSettings.h"

#include <algorithm>

namespace keelwick {

namespace {

QString counted(qint64 count, const QString& singular, const QString& plural) {
    return count == 1 ? singular : plural;
}

/// Each remembered run option with its settings key.
const std::pair<bool RescueOptions::*, const QString*> rememberedOptions[] = {
    {&RescueOptions::overwriteDestinationFiles, &WindowState::overwriteDestinationFilesKey},
    {&RescueOptions::storeOriginalImages, &WindowState::storeOriginalImagesKey},
    {&RescueOptions::writeMissingFontNotes, &WindowState::writeMissingFontNotesKey},
    {&RescueOptions::generatePNGPreviewImages, &WindowState::generatePNGPreviewImagesKey},
};

}  // namespace

WindowState::WindowState(RescueViewModel& model, QObject* parent) : QObject(parent), model_(model) {
    const QSettings settings = storedSettings();
    RescueOptions options = model_.options();
    for (const auto& [option, key] : rememberedOptions) {
        options.*option = settings.value(*key, options.*option).toBool();
    }
    model_.setOptions(options);
    for (const auto signal :
         {&RescueViewModel::candidatesChanged, &RescueViewModel::resultsChanged,
          &RescueViewModel::isLoadingSelectionPreviewChanged,
          &RescueViewModel::rescueWasCancelledChanged,
          &RescueViewModel::outputFolderWasChosenChanged, &RescueViewModel::optionsChanged,
          &RescueViewModel::totalRescuedCountChanged, &RescueViewModel::derivedValuesChanged,
          &RescueViewModel::isDryRunChanged}) {
        connect(&model_, signal, this, &WindowState::changed);
    }
    connect(&model_, &RescueViewModel::isRescuingChanged, this, &WindowState::runActivityChanged);
}

void WindowState::runActivityChanged() {
    emit changed();
    // The report opens by itself at the end of every run that produced results.
    if (!model_.isRescuing() && !model_.results().isEmpty()) {
        setShowsRescueReport(true);
    }
}

WindowState::RunPhase WindowState::runPhase() const {
    if (model_.isRescuing()) {
        return RunPhase::Running;
    }
    if (model_.rescueWasCancelled()) {
        return RunPhase::Cancelled;
    }
    return model_.results().isEmpty() ? RunPhase::Idle : RunPhase::Finished;
}

bool WindowState::choosingIsEnabled() const {
    return !model_.isLoadingSelectionPreview() && !model_.isRescuing();
}

bool WindowState::stepThreeIsEnabled() const {
    return !model_.candidates().isEmpty() && model_.outputFolderWasChosen();
}

bool WindowState::stepThreeIsComplete() const {
    return runPhase() == RunPhase::Finished;
}

qint64 WindowState::selectedCount() const {
    return model_.selectedCandidates().size();
}

QString WindowState::selectionStatus() const {
    if (model_.candidates().isEmpty()) {
        return QStringLiteral("No drawings selected yet");
    }
    return QStringLiteral("%1 of %2 ready").arg(selectedCount()).arg(model_.candidates().size());
}

QString WindowState::readyLabel() const {
    return counted(selectedCount(), QStringLiteral("drawing ready"),
                   QStringLiteral("drawings ready"));
}

QString WindowState::allTimeLabel() const {
    return counted(model_.totalRescuedCount(), QStringLiteral("drawing rescued all-time"),
                   QStringLiteral("drawings rescued all-time"));
}

QString WindowState::cancelledText() const {
    if (!model_.rescueWasCancelled()) {
        return {};
    }
    return model_.rescuedCount() > 0
               ? QStringLiteral("Rescue was cancelled.")
               : QStringLiteral("Dry run was cancelled. Start again whenever you like.");
}

QString WindowState::canBeRescuedLabel() const {
    if (!model_.isDryRun()) {
        return counted(model_.rescuedCount(), QStringLiteral("drawing rescued"),
                       QStringLiteral("drawings rescued"));
    }
    return counted(model_.rescuedCount(), QStringLiteral("drawing can be rescued"),
                   QStringLiteral("drawings can be rescued"));
}

QString WindowState::reportCaption() const {
    return model_.isDryRun() ? QStringLiteral("Dry run report") : QStringLiteral("Rescue report");
}

QString WindowState::reportTitle() const {
    return model_.isDryRun() ? QStringLiteral("Dry run complete")
                             : QStringLiteral("Rescue complete");
}

QString WindowState::viewReportLabel() const {
    return model_.isDryRun() ? QStringLiteral("View Dry Run Report")
                             : QStringLiteral("View Rescue Report");
}

QString WindowState::destinationCaption() const {
    return model_.outputFolderWasChosen() ? QStringLiteral("Save PNG preview images to")
                                          : QStringLiteral("Preview image destination");
}

QString WindowState::destinationLine() const {
    return model_.outputFolderWasChosen() ? model_.options().outputFolder
                                          : QStringLiteral("Choose a folder before checking");
}

QString WindowState::destinationButton() const {
    return model_.outputFolderWasChosen() ? QStringLiteral("Change")
                                          : QStringLiteral("Choose Destination");
}

void WindowState::setOption(bool RescueOptions::*option, const QString& key, bool value) {
    RescueOptions options = model_.options();
    options.*option = value;
    model_.setOptions(options);
    storedSettings().setValue(key, value);
}

void WindowState::setOverwritesDestinationFiles(bool overwrites) {
    setOption(&RescueOptions::overwriteDestinationFiles, overwriteDestinationFilesKey, overwrites);
}

void WindowState::setStoresOriginalImages(bool stores) {
    setOption(&RescueOptions::storeOriginalImages, storeOriginalImagesKey, stores);
}

void WindowState::setWritesMissingFontNotes(bool writes) {
    setOption(&RescueOptions::writeMissingFontNotes, writeMissingFontNotesKey, writes);
}

void WindowState::setSavesPreviewImages(bool saves) {
    setOption(&RescueOptions::generatePNGPreviewImages, generatePNGPreviewImagesKey, saves);
}

void WindowState::setShowsRescueReport(bool shows) {
    if (showsRescueReport_ != shows) {
        showsRescueReport_ = shows;
        emit showsRescueReportChanged();
    }
}

void WindowState::setShowsLaunchTimeline(bool shows) {
    if (showsLaunchTimeline_ != shows) {
        showsLaunchTimeline_ = shows;
        emit showsLaunchTimelineChanged();
    }
}

QString WindowState::versionString() const {
    return AppIdentity::versionString();
}

void WindowState::windowAppeared() {
    QSettings settings = storedSettings();
    if (settings.value(hasSeenLaunchTimelineKey, false).toBool()) {
        return;
    }
    settings.setValue(hasSeenLaunchTimelineKey, true);
    setShowsLaunchTimeline(true);
}

double WindowState::fittedScale(double width, double height) {
    const double fit = std::min({1.0, width / contentWidth, height / contentHeight});
    return std::max(minimumScale, fit);
}

}  // namespace keelwick
