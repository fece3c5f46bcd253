#pragma once

#include <QtQml/qqmlregistration.h>
#include <QAbstractListModel>
#include <QString>

namespace keelwick {

/// One dated step on the way from Graphic's Macs to the end of its platform.
struct GraphicHistoryMilestone {
    QString id;
    /// As a person reads it ("22 June 2020", "Autumn 2027, expected").
    QString date;
    QString title;
    bool isWarning = false;
    /// This release of Keelwick, the timeline's last step.
    bool isRescueRelease = false;
};

/// The milestones of the Graphic history timeline, oldest first: facts about macOS and
/// Intel apps, then this release of Keelwick.
class GraphicHistoryModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The history is made by the program.")

  public:
    enum Role { DateRole = Qt::UserRole + 1, TitleRole, IsWarningRole, IsRescueReleaseRole };

    explicit GraphicHistoryModel(QObject* parent = nullptr);

    static QList<GraphicHistoryMilestone> milestones();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

  private:
    QList<GraphicHistoryMilestone> milestones_;
};

}  // namespace keelwick
