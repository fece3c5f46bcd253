#pragma once

#include "ui/DesktopPlatform.h"
#include "workflow/RescueViewModel.h"

#include <QtQml/qqmlregistration.h>
#include <QAbstractListModel>
#include <QVariantList>

namespace keelwick {

/// The missing-font dialog's rows: one per missing font with the drawings that use it, and
/// the drawings whose fonts could not be inspected. The review and the report each fill it
/// when they open the dialog, so the groups are sorted only when someone looks at them.
class MissingFontList : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The missing-font list is made with its model.")
    Q_PROPERTY(QVariantList inspectionIssues READ inspectionIssues NOTIFY listChanged)
    Q_PROPERTY(bool isEmpty READ isEmpty NOTIFY listChanged)
    Q_PROPERTY(QStringList searchTitles READ searchTitles CONSTANT)
    Q_PROPERTY(QString badge READ badge NOTIFY listChanged)

  public:
    enum Role { NameRole = Qt::UserRole + 1, LookUpHelpRole, ReferencedByRole, ReferencesRole };

    MissingFontList(RescueViewModel& model, DesktopPlatform& platform, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    QVariantList inspectionIssues() const;
    bool isEmpty() const { return groups_.isEmpty() && issues_.isEmpty(); }
    /// "Search " and each font service's title, in the services' order.
    QStringList searchTitles() const;
    /// What the fonts were looked at for: the check's previews, or a rescue's SVG files when
    /// the list shows the results of a rescue run.
    QString badge() const;

    /// The groups of the selected drawings and their inspection issues (the review's).
    Q_INVOKABLE void showSelectedDrawings();
    /// The groups of the last run's results, without inspection issues (the report's).
    Q_INVOKABLE void showResults();
    /// Puts the row's font name on the clipboard as plain text.
    Q_INVOKABLE void copyName(int row) const;
    /// Opens the search for the row's font at the service of `source` (its index in the
    /// services' order) in the browser; nothing when no address can be formed.
    Q_INVOKABLE void findFont(int row, int source) const;

  signals:
    void listChanged();

  private:
    void show(QList<MissingFontGroup> groups, QList<MissingFontInspectionIssue> issues);

    RescueViewModel& model_;
    DesktopPlatform& platform_;
    QList<MissingFontGroup> groups_;
    QList<MissingFontInspectionIssue> issues_;
    bool showsRescueResults_ = false;
};

}  // namespace keelwick
