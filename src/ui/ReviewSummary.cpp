#include "ui/ReviewSummary.h"

#include <QSet>

namespace keelwick {

ReviewSummary::ReviewSummary(RescueViewModel& model, QObject* parent)
    : QObject(parent), model_(model) {
    connect(&model_, &RescueViewModel::candidatesChanged, this, &ReviewSummary::recount);
    for (const auto signal : {&RescueViewModel::isLoadingSelectionPreviewChanged,
                              &RescueViewModel::isCancellingSelectionPreviewChanged}) {
        connect(&model_, signal, this, &ReviewSummary::changed);
    }
    recount();
}

void ReviewSummary::recount() {
    selectedCount_ = embeddedImageCount_ = inspectionIssueCount_ = 0;
    // Only the number of groups is shown here; the groups themselves, sorted, are made when
    // their dialog opens.
    QSet<QString> missingFonts;
    for (const RescueCandidate& candidate : model_.candidates()) {
        if (!candidate.isSelected) {
            continue;
        }
        ++selectedCount_;
        embeddedImageCount_ += candidate.embeddedImageCount;
        inspectionIssueCount_ += candidate.fontInspectionError ? 1 : 0;
        for (const QString& font : candidate.missingFonts) {
            missingFonts.insert(font);
        }
    }
    missingFontCount_ = missingFonts.size();
    emit changed();
}

QString ReviewSummary::selectedLabel() const {
    return QStringLiteral("selected of ") + QString::number(model_.candidates().size()) +
           QStringLiteral(" found");
}

QString ReviewSummary::embeddedImageLabel() const {
    return embeddedImageCount_ == 1 ? QStringLiteral("embedded image")
                                    : QStringLiteral("embedded images");
}

QString ReviewSummary::footerMessage() const {
    if (model_.isCancellingSelectionPreview()) {
        return QStringLiteral("Stopping analysis. Drawings analyzed so far are kept.");
    }
    if (model_.isLoadingSelectionPreview()) {
        return QStringLiteral(
            "Analyzing. You can review and deselect files when analysis is complete.");
    }
    if (selectedCount_ > 0) {
        return QStringLiteral(
            "Only checked drawings will be rescued. Missing fonts can be installed before or "
            "after conversion for exact text rendering.");
    }
    return QStringLiteral("Select at least one drawing to continue.");
}

bool ReviewSummary::doneIsEnabled() const {
    return selectedCount_ > 0 || model_.isLoadingSelectionPreview();
}

}  // namespace keelwick
