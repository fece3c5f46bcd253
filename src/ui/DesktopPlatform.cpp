#include "ui/DesktopPlatform.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>

namespace keelwick {

void DesktopPlatform::runOpenPanel(const OpenPanel& panel, PanelAnswer answer) {
    // One panel at a time: a new request ends the one still waiting as cancelled.
    this->answer(std::nullopt);
    panel_ = panel;
    pendingAnswer_ = std::move(answer);
    emit panelRequested();
}

QStringList DesktopPlatform::panelNameFilters() const {
    if (panel_.allowedExtensions.isEmpty()) {
        return {};
    }
    QStringList patterns;
    for (const QString& extension : panel_.allowedExtensions) {
        patterns.append(QStringLiteral("*.") + extension);
    }
    return {QStringLiteral("Graphic/iDraw drawings (%1)").arg(patterns.join(QLatin1Char(' ')))};
}

QUrl DesktopPlatform::panelStartFolder() const {
    return panel_.startFolder ? QUrl::fromLocalFile(*panel_.startFolder) : QUrl();
}

void DesktopPlatform::answerPanel(const QList<QUrl>& chosen) {
    QStringList paths;
    for (const QUrl& url : chosen) {
        if (url.isLocalFile()) {
            paths.append(url.toLocalFile());
        }
    }
    answer(paths.isEmpty() ? std::nullopt : std::optional(paths));
}

void DesktopPlatform::cancelPanel() {
    answer(std::nullopt);
}

void DesktopPlatform::answer(std::optional<QStringList> chosen) {
    if (pendingAnswer_) {
        // Taken first: the answer may open the next panel.
        PanelAnswer pending = std::exchange(pendingAnswer_, {});
        emit panelAnswered();
        pending(std::move(chosen));
    }
}

void DesktopPlatform::revealInFileManager(const QString& path) {
    const QFileInfo info(path);
    const QUrl folder =
        QUrl::fromLocalFile(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QDesktopServices::openUrl(folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // Asked without waiting, so the window keeps painting while the file manager starts.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [folder](auto* finished) {
        if (finished->isError()) {
            // No file manager answers on the bus: open the folder itself instead.
            QDesktopServices::openUrl(folder);
        }
        finished->deleteLater();
    });
}

void DesktopPlatform::openLink(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

}  // namespace keelwick
