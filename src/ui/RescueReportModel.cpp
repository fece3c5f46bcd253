#include "ui/RescueReportModel.h"

#include "pipeline/RescueReportFormatter.h"
#include "ui/ReducedMotion.h"

#include <QSet>

namespace keelwick {

RescueReportModel::RescueReportModel(RescueViewModel& model, QObject* parent)
    : QAbstractListModel(parent), model_(model) {
    // A run adds its results one by one; the report is made once, when the run has ended.
    connect(&model_, &RescueViewModel::resultsChanged, this, [this] {
        if (!model_.isRescuing()) {
            follow();
        }
    });
    connect(&model_, &RescueViewModel::isRescuingChanged, this, &RescueReportModel::follow);
    connect(&model_, &RescueViewModel::didStoreOriginalImagesChanged, this,
            &RescueReportModel::changed);
    follow();
}

void RescueReportModel::follow() {
    beginResetModel();
    entries_ = RescueReportFormatter::entries(model_.results());
    endResetModel();
    QSet<QString> fonts;
    for (const RescueResult& result : model_.results()) {
        for (const QString& font : result.missingFonts) {
            fonts.insert(font);
        }
    }
    missingFontCount_ = fonts.size();
    emit changed();
}

int RescueReportModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(entries_.size());
}

QVariant RescueReportModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    const RescueReportEntry& entry = entries_[index.row()];
    switch (role) {
        case Qt::DisplayRole:
        case TitleRole:
            return entry.title;
        case DetailRole:
            return entry.detail;
        case IsRescuedRole:
            return entry.status == RescueReportEntry::Status::rescued;
        default:
            return {};
    }
}

QHash<int, QByteArray> RescueReportModel::roleNames() const {
    return {{TitleRole, "title"}, {DetailRole, "detail"}, {IsRescuedRole, "isRescued"}};
}

qint64 RescueReportModel::imagesValue() const {
    return imagesWereStored() ? model_.embeddedImageCountForResults() : 0;
}

QString RescueReportModel::imagesLabel() const {
    return imagesWereStored() && imagesValue() == 1 ? QStringLiteral("image rescued")
                                                    : QStringLiteral("images rescued");
}

QString RescueReportModel::imagesHelp() const {
    return imagesWereStored()
               ? QStringLiteral("Original images were saved next to their SVG.")
               : QStringLiteral(
                     "Turn on “Store embedded images in original format” in Step 2 to save the "
                     "originals next to each SVG.");
}

bool RescueReportModel::celebrates() const {
    const bool everyDrawingRescued = !model_.results().isEmpty() && model_.failedCount() == 0 &&
                                     !model_.rescueWasCancelled() &&
                                     model_.rescuedCount() == model_.selectedCandidates().size();
    return everyDrawingRescued && !desktopAsksForReducedMotion();
}

}  // namespace keelwick
