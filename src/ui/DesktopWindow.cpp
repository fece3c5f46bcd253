#include "ui/DesktopWindow.h"

#include "ui/SymbolImageProvider.h"

#include <QUrl>

namespace keelwick {

DesktopWindow::DesktopWindow(RescueViewModel::Services services)
    : model_(platform_, std::move(services)), state_(model_), candidates_(model_) {
    engine_.addImageProvider(QStringLiteral("symbol"), new SymbolImageProvider);
}

DesktopWindow::~DesktopWindow() = default;

bool DesktopWindow::show() {
    engine_.setInitialProperties({
        {QStringLiteral("viewModel"), QVariant::fromValue(&model_)},
        {QStringLiteral("windowState"), QVariant::fromValue(&state_)},
        {QStringLiteral("platform"), QVariant::fromValue(&platform_)},
        {QStringLiteral("candidates"), QVariant::fromValue(&candidates_)},
        {QStringLiteral("history"), QVariant::fromValue(&history_)},
        {QStringLiteral("links"), QVariant::fromValue(&links_)},
    });
    engine_.load(QUrl(QStringLiteral("qrc:/Keelwick/MainWindow.qml")));
    return window() != nullptr;
}

void DesktopWindow::choose(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls.append(QUrl::fromLocalFile(path));
    }
    model_.addDroppedURLs(urls);
}

QQuickWindow* DesktopWindow::window() const {
    const QList<QObject*> roots = engine_.rootObjects();
    return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.front());
}

}  // namespace keelwick
