#include "ui/CandidateListModel.h"

#include "workflow/DrawingScan.h"

#include <algorithm>

namespace keelwick {

namespace {

bool sameDrawings(const QList<RescueCandidate>& before, const QList<RescueCandidate>& after) {
    return std::equal(before.begin(), before.end(), after.begin(), after.end(),
                      [](const auto& a, const auto& b) { return a.id == b.id; });
}

}  // namespace

CandidateListModel::CandidateListModel(RescueViewModel& model, QObject* parent)
    : QAbstractListModel(parent), model_(model), rows_(model.candidates()) {
    connect(&model_, &RescueViewModel::candidatesChanged, this, &CandidateListModel::follow);
}

void CandidateListModel::follow() {
    const QList<RescueCandidate>& candidates = model_.candidates();
    if (!sameDrawings(rows_, candidates)) {
        beginResetModel();
        rows_ = candidates;
        endResetModel();
        emit countChanged();
        return;
    }
    for (qsizetype row = 0; row < candidates.size(); ++row) {
        if (!(rows_[row] == candidates[row])) {
            rows_[row] = candidates[row];
            emit dataChanged(index(int(row)), index(int(row)));
        }
    }
}

int CandidateListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant CandidateListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    const RescueCandidate& candidate = rows_[index.row()];
    switch (role) {
        case Qt::DisplayRole:
        case DisplayPathRole:
            return displayPath(candidate);
        case IsSelectedRole:
            return candidate.isSelected;
        case HasStoredPictureRole:
            return candidate.previewJPEGData.has_value();
        case EmbeddedImageCountRole:
            return candidate.embeddedImageCount;
        case MissingFontsRole:
            return candidate.missingFonts;
        case FontInspectionErrorRole:
            return candidate.fontInspectionError.value_or(QString());
        default:
            return {};
    }
}

QHash<int, QByteArray> CandidateListModel::roleNames() const {
    return {{DisplayPathRole, "displayPath"},
            {IsSelectedRole, "isSelected"},
            {HasStoredPictureRole, "hasStoredPicture"},
            {EmbeddedImageCountRole, "embeddedImageCount"},
            {MissingFontsRole, "missingFonts"},
            {FontInspectionErrorRole, "fontInspectionError"}};
}

void CandidateListModel::setSelected(int row, bool isSelected) {
    if (row >= 0 && row < rows_.size()) {
        model_.setSelection(rows_[row], isSelected);
    }
}

}  // namespace keelwick
