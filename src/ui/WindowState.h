#pragma once

#include "workflow/RescueViewModel.h"

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QString>

namespace keelwick {

/// What the main window shows that is not a field of the model: the steps' flags, the
/// phase of Step 3, the texts that follow a count, the sheets that are up and the rules
/// that open them. The views bind to it; they compute nothing themselves.
class WindowState : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The window's state is made with its model.")

  public:
    /// What Step 3 shows.
    enum class RunPhase { Idle, Running, Finished, Cancelled };
    Q_ENUM(RunPhase)

  private:
    Q_PROPERTY(RunPhase runPhase READ runPhase NOTIFY changed)
    Q_PROPERTY(bool stepOneIsComplete READ stepOneIsComplete NOTIFY changed)
    Q_PROPERTY(bool choosingIsEnabled READ choosingIsEnabled NOTIFY changed)
    Q_PROPERTY(bool stepThreeIsEnabled READ stepThreeIsEnabled NOTIFY changed)
    Q_PROPERTY(bool stepThreeIsComplete READ stepThreeIsComplete NOTIFY changed)
    Q_PROPERTY(qint64 selectedCount READ selectedCount NOTIFY changed)
    Q_PROPERTY(QString selectionStatus READ selectionStatus NOTIFY changed)
    Q_PROPERTY(QString readyLabel READ readyLabel NOTIFY changed)
    Q_PROPERTY(QString allTimeLabel READ allTimeLabel NOTIFY changed)
    Q_PROPERTY(QString cancelledText READ cancelledText NOTIFY changed)
    Q_PROPERTY(QString canBeRescuedLabel READ canBeRescuedLabel NOTIFY changed)
    Q_PROPERTY(QString destinationCaption READ destinationCaption NOTIFY changed)
    Q_PROPERTY(QString destinationLine READ destinationLine NOTIFY changed)
    Q_PROPERTY(QString destinationButton READ destinationButton NOTIFY changed)
    Q_PROPERTY(QString reportCaption READ reportCaption NOTIFY changed)
    Q_PROPERTY(QString reportTitle READ reportTitle NOTIFY changed)
    Q_PROPERTY(QString viewReportLabel READ viewReportLabel NOTIFY changed)
    Q_PROPERTY(bool overwritesDestinationFiles READ overwritesDestinationFiles WRITE
                   setOverwritesDestinationFiles NOTIFY changed)
    Q_PROPERTY(bool storesOriginalImages READ storesOriginalImages WRITE setStoresOriginalImages
                   NOTIFY changed)
    Q_PROPERTY(bool writesMissingFontNotes READ writesMissingFontNotes WRITE
                   setWritesMissingFontNotes NOTIFY changed)
    Q_PROPERTY(
        bool savesPreviewImages READ savesPreviewImages WRITE setSavesPreviewImages NOTIFY changed)
    Q_PROPERTY(bool showsRescueReport READ showsRescueReport WRITE setShowsRescueReport NOTIFY
                   showsRescueReportChanged)
    Q_PROPERTY(bool showsLaunchTimeline READ showsLaunchTimeline WRITE setShowsLaunchTimeline NOTIFY
                   showsLaunchTimelineChanged)
    Q_PROPERTY(QString versionString READ versionString CONSTANT)

  public:
    static inline const QString hasSeenLaunchTimelineKey =
        QStringLiteral("hasSeenGraphicHistoryTimeline");
    /// The content's own frame; smaller screens scale it down, never below `minimumScale`.
    static constexpr double contentWidth = 1180;
    static constexpr double contentHeight = 900;
    static constexpr double minimumScale = 0.75;

    /// The run options the window remembers between launches, by their settings keys.
    static inline const QString overwriteDestinationFilesKey =
        QStringLiteral("overwriteDestinationFiles");
    static inline const QString storeOriginalImagesKey = QStringLiteral("storeOriginalImages");
    static inline const QString writeMissingFontNotesKey = QStringLiteral("writeMissingFontNotes");
    static inline const QString generatePNGPreviewImagesKey =
        QStringLiteral("generatePNGPreviewImages");

    /// Gives the model the run options stored by earlier launches.
    explicit WindowState(RescueViewModel& model, QObject* parent = nullptr);

    RunPhase runPhase() const;
    bool stepOneIsComplete() const { return !model_.candidates().isEmpty(); }
    /// Steps 1 and 2 wait while drawings are analysed or a run goes on.
    bool choosingIsEnabled() const;
    bool stepThreeIsEnabled() const;
    bool stepThreeIsComplete() const;
    qint64 selectedCount() const;
    QString selectionStatus() const;
    QString readyLabel() const;
    QString allTimeLabel() const;
    QString cancelledText() const;
    /// The report's label under the number of drawings that came out well: what a check
    /// found could be rescued, or what a rescue run rescued.
    QString canBeRescuedLabel() const;
    QString reportCaption() const;
    QString reportTitle() const;
    QString viewReportLabel() const;
    QString destinationCaption() const;
    QString destinationLine() const;
    QString destinationButton() const;
    bool overwritesDestinationFiles() const { return model_.options().overwriteDestinationFiles; }
    void setOverwritesDestinationFiles(bool overwrites);
    bool storesOriginalImages() const { return model_.options().storeOriginalImages; }
    void setStoresOriginalImages(bool stores);
    bool writesMissingFontNotes() const { return model_.options().writeMissingFontNotes; }
    void setWritesMissingFontNotes(bool writes);
    bool savesPreviewImages() const { return model_.options().generatePNGPreviewImages; }
    void setSavesPreviewImages(bool saves);
    bool showsRescueReport() const { return showsRescueReport_; }
    void setShowsRescueReport(bool shows);
    bool showsLaunchTimeline() const { return showsLaunchTimeline_; }
    void setShowsLaunchTimeline(bool shows);
    QString versionString() const;

    /// The window's first appearance: the history timeline opens once in the program's life.
    Q_INVOKABLE void windowAppeared();
    /// The scale of the content in a screen's available area of `width` × `height`:
    /// 1 where it fits, else as much as fits, but never below `minimumScale`.
    Q_INVOKABLE static double fittedScale(double width, double height);

  signals:
    void changed();
    void showsRescueReportChanged();
    void showsLaunchTimelineChanged();

  private:
    void runActivityChanged();
    /// Sets one run option in the model and remembers it under `key`.
    void setOption(bool RescueOptions::*option, const QString& key, bool value);

    RescueViewModel& model_;
    bool showsRescueReport_ = false;
    bool showsLaunchTimeline_ = false;
};

}  // namespace keelwick
