#pragma once

#include "workflow/RescueViewModel.h"

#include <QtQml/qqmlregistration.h>
#include <QAbstractListModel>

namespace keelwick {

/// The report dialog's content beyond the window's counted labels: one row per report entry
/// of the last run's results, in the report's order, the images and missing-font tiles, and
/// whether the run earns its celebration.
class RescueReportModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The report is made with its model.")
    Q_PROPERTY(qint64 imagesValue READ imagesValue NOTIFY changed)
    Q_PROPERTY(QString imagesLabel READ imagesLabel NOTIFY changed)
    Q_PROPERTY(QString imagesHelp READ imagesHelp NOTIFY changed)
    Q_PROPERTY(bool imagesWereStored READ imagesWereStored NOTIFY changed)
    Q_PROPERTY(qint64 missingFontCount READ missingFontCount NOTIFY changed)

  public:
    enum Role { TitleRole = Qt::UserRole + 1, DetailRole, IsRescuedRole };

    explicit RescueReportModel(RescueViewModel& model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    qint64 imagesValue() const;
    QString imagesLabel() const;
    QString imagesHelp() const;
    bool imagesWereStored() const { return model_.didStoreOriginalImages(); }
    /// The number of distinct missing fonts among the results.
    qint64 missingFontCount() const { return missingFontCount_; }

    /// True when the run ended with every selected drawing rescued and the desktop does not
    /// ask for reduced motion; asked when the report opens.
    Q_INVOKABLE bool celebrates() const;

  signals:
    void changed();

  private:
    void follow();

    RescueViewModel& model_;
    QList<RescueReportEntry> entries_;
    qint64 missingFontCount_ = 0;
};

}  // namespace keelwick
