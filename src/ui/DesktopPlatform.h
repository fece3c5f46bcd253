#pragma once

#include "workflow/RescuePlatform.h"

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QStringList>
#include <QUrl>

namespace keelwick {

/// The desktop's side of the model's requests. Open panels are shown by the window's own
/// file and folder dialogs: a request is published here as properties and a signal, and
/// the dialog answers with `answerPanel` or `cancelPanel`. The file manager is reached over
/// D-Bus.
class DesktopPlatform : public QObject, public RescuePlatform {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The desktop platform is made by the program.")
    Q_PROPERTY(QString panelTitle READ panelTitle NOTIFY panelRequested)
    Q_PROPERTY(QString panelPrompt READ panelPrompt NOTIFY panelRequested)
    Q_PROPERTY(bool panelChoosesFolder READ panelChoosesFolder NOTIFY panelRequested)
    Q_PROPERTY(bool panelChoosesSeveral READ panelChoosesSeveral NOTIFY panelRequested)
    Q_PROPERTY(QStringList panelNameFilters READ panelNameFilters NOTIFY panelRequested)
    Q_PROPERTY(QUrl panelStartFolder READ panelStartFolder NOTIFY panelRequested)

  public:
    using QObject::QObject;

    void runOpenPanel(const OpenPanel& panel, PanelAnswer answer) override;
    void revealInFileManager(const QString& path) override;

    QString panelTitle() const { return panel_.title; }
    QString panelPrompt() const { return panel_.prompt; }
    bool panelChoosesFolder() const { return panel_.canChooseDirectories; }
    bool panelChoosesSeveral() const { return panel_.allowsMultipleSelection; }
    QStringList panelNameFilters() const;
    QUrl panelStartFolder() const;

    /// The dialog's choice, as file URLs.
    Q_INVOKABLE void answerPanel(const QList<QUrl>& chosen);
    Q_INVOKABLE void cancelPanel();
    /// Opens a web page or a local document in the desktop's default program.
    Q_INVOKABLE void openLink(const QUrl& url);

  signals:
    /// A panel waits to be shown.
    void panelRequested();
    /// The panel was answered (by its dialog or otherwise) and can close.
    void panelAnswered();

  private:
    void answer(std::optional<QStringList> chosen);

    OpenPanel panel_;
    PanelAnswer pendingAnswer_;
};

}  // namespace keelwick
