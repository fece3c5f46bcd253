#pragma once

#include "workflow/RescueViewModel.h"

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QString>

namespace keelwick {

/// What the review dialog says about the selection as a whole: its four tiles, its footer and
/// whether "Done" can be pressed. Counted in one pass over the drawings when they change.
class ReviewSummary : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The review's summary is made with its model.")
    Q_PROPERTY(qint64 selectedCount READ selectedCount NOTIFY changed)
    Q_PROPERTY(QString selectedLabel READ selectedLabel NOTIFY changed)
    Q_PROPERTY(qint64 embeddedImageCount READ embeddedImageCount NOTIFY changed)
    Q_PROPERTY(QString embeddedImageLabel READ embeddedImageLabel NOTIFY changed)
    Q_PROPERTY(qint64 missingFontCount READ missingFontCount NOTIFY changed)
    Q_PROPERTY(qint64 inspectionIssueCount READ inspectionIssueCount NOTIFY changed)
    Q_PROPERTY(QString footerMessage READ footerMessage NOTIFY changed)
    Q_PROPERTY(bool doneIsEnabled READ doneIsEnabled NOTIFY changed)

  public:
    explicit ReviewSummary(RescueViewModel& model, QObject* parent = nullptr);

    qint64 selectedCount() const { return selectedCount_; }
    QString selectedLabel() const;
    qint64 embeddedImageCount() const { return embeddedImageCount_; }
    QString embeddedImageLabel() const;
    /// The number of missing-font groups of the selected drawings: their distinct names.
    qint64 missingFontCount() const { return missingFontCount_; }
    qint64 inspectionIssueCount() const { return inspectionIssueCount_; }
    QString footerMessage() const;
    /// Disabled exactly when nothing is selected and no analysis runs.
    bool doneIsEnabled() const;

  signals:
    void changed();

  private:
    void recount();

    RescueViewModel& model_;
    qint64 selectedCount_ = 0;
    qint64 embeddedImageCount_ = 0;
    qint64 missingFontCount_ = 0;
    qint64 inspectionIssueCount_ = 0;
};

}  // namespace keelwick
