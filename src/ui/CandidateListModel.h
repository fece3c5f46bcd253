#pragma once

#include "workflow/RescueViewModel.h"

#include <QtQml/qqmlregistration.h>
#include <QAbstractListModel>

namespace keelwick {

/// The model's drawings as a list the views can show: one row per candidate, in the
/// model's order. A change that keeps the same drawings in the same order (a selection, an
/// analysis finding) is announced for the rows it touched; any other change resets the list.
class CandidateListModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The drawings' list is made with its model.")
    Q_PROPERTY(int count READ rowCount NOTIFY countChanged)

  public:
    enum Role {
        DisplayPathRole = Qt::UserRole + 1,
        IsSelectedRole,
        HasStoredPictureRole,
        EmbeddedImageCountRole,
        MissingFontsRole,
        FontInspectionErrorRole,
    };

    explicit CandidateListModel(RescueViewModel& model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    /// Keeps or leaves out the drawing of `row`.
    Q_INVOKABLE void setSelected(int row, bool isSelected);

  signals:
    void countChanged();

  private:
    void follow();

    RescueViewModel& model_;
    /// The rows as last announced.
    QList<RescueCandidate> rows_;
};

}  // namespace keelwick
