#include "ui/DesktopWindow.h"

#include "pipeline/BackgroundPriority.h"
#include "ui/StoredPictureImageProvider.h"
#include "ui/SymbolImageProvider.h"
#include "ui/ThumbnailImageProvider.h"
#include "workflow/BackgroundWork.h"

#include <QGuiApplication>
#include <QIcon>
#include <QQuickStyle>
#include <QUrl>

namespace keelwick {

DesktopWindow::DesktopWindow(RescueViewModel::Services services)
    : model_(platform_, std::move(services)),
      state_(model_),
      reviewTree_(model_, platform_),
      reviewSummary_(model_),
      fontList_(model_, platform_),
      report_(model_) {
    engine_.addImageProvider(QStringLiteral("symbol"), new SymbolImageProvider);
    engine_.addImageProvider(QStringLiteral("thumbnail"), new ThumbnailImageProvider(reviewTree_));
    engine_.addImageProvider(QStringLiteral("storedpicture"), new StoredPictureImageProvider);
}

DesktopWindow::~DesktopWindow() {
    // Quitting lets the drawings in progress complete before what they use goes: every file
    // they write is whole, their temporary folders are removed, and the preview renderer (a
    // program-wide object) outlives its last render. The window goes first, so nobody looks
    // at a window that no longer answers.
    if (QQuickWindow* shown = window()) {
        shown->hide();
    }
    drawingJobPool().waitForDone();
}

void DesktopWindow::setUpApplication() {
    QGuiApplication::setOrganizationName(QStringLiteral("Keelwick"));
    QGuiApplication::setApplicationName(QStringLiteral("Keelwick"));
    QGuiApplication::setDesktopFileName(QStringLiteral("keelwick"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/Keelwick/art/keelwick.svg")));
    // The window draws its own dark look; the plain style takes its colours.
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    // The window is flat panels and text: the software renderer repaints only what changed,
    // on the main thread, and keeps a run smooth where OpenGL is drawn on the processor
    // (frames of 30-90 ms against 13-40 ms, measured in bench/bench_window_run). Qt's own
    // QT_QUICK_BACKEND still chooses another renderer.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    }
    // The window comes first: the drawings' conversion and the browser take what the window
    // leaves of the processor, so it keeps painting while a run keeps every core busy.
    BackgroundPriority::setNiceness(10);
}

bool DesktopWindow::show() {
    engine_.setInitialProperties({
        {QStringLiteral("viewModel"), QVariant::fromValue(&model_)},
        {QStringLiteral("windowState"), QVariant::fromValue(&state_)},
        {QStringLiteral("platform"), QVariant::fromValue(&platform_)},
        {QStringLiteral("reviewTree"), QVariant::fromValue(&reviewTree_)},
        {QStringLiteral("reviewSummary"), QVariant::fromValue(&reviewSummary_)},
        {QStringLiteral("fontList"), QVariant::fromValue(&fontList_)},
        {QStringLiteral("report"), QVariant::fromValue(&report_)},
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
