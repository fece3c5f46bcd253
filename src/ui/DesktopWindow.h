#pragma once

#include "ui/AppLinks.h"
#include "ui/CandidateListModel.h"
#include "ui/DesktopPlatform.h"
#include "ui/GraphicHistoryModel.h"
#include "ui/WindowState.h"
#include "workflow/RescueViewModel.h"

#include <QQmlApplicationEngine>
#include <QQuickWindow>

namespace keelwick {

/// The main window and everything it owns: the desktop platform, the window's model and
/// the adaptors the views bind to, and the QML engine that shows them. The program makes
/// one with the standard services; the window's tests make one with fakes.
class DesktopWindow {
  public:
    explicit DesktopWindow(
        RescueViewModel::Services services = RescueViewModel::Services::standard());
    ~DesktopWindow();

    /// The application's name, icon, style and renderer, set once the application object
    /// exists and before any window: by the program, its benchmarks and its tests alike.
    static void setUpApplication();

    /// Loads the views and shows the window; false (with the reasons on stderr) when the
    /// views could not be loaded.
    bool show();
    /// Chooses `paths` as a drop of them would.
    void choose(const QStringList& paths);

    DesktopPlatform& platform() { return platform_; }
    RescueViewModel& model() { return model_; }
    WindowState& state() { return state_; }
    QQmlApplicationEngine& engine() { return engine_; }
    /// The main window once shown.
    QQuickWindow* window() const;

  private:
    DesktopPlatform platform_;
    RescueViewModel model_;
    WindowState state_;
    CandidateListModel candidates_;
    GraphicHistoryModel history_;
    AppLinks links_;
    // Last, so the views go before what they bind to.
    QQmlApplicationEngine engine_;
};

}  // namespace keelwick
