#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace keelwick {

/// What the model asks of the desktop: open panels, the file manager and access to the
/// locations the user picked. The window implements it with Qt's dialogs and D-Bus; tests
/// fake it. The command line has no panels: it hands paths to the model directly.
class RescuePlatform {
  public:
    /// One modal open panel.
    struct OpenPanel {
        QString title;
        /// A line shown above the list; empty for none.
        QString message;
        /// The text of the confirming button.
        QString prompt;
        bool canChooseFiles = true;
        bool canChooseDirectories = false;
        bool allowsMultipleSelection = false;
        bool canCreateDirectories = false;
        /// File name extensions the panel offers; empty leaves the panel unrestricted.
        QStringList allowedExtensions;
        /// The folder the panel opens in; absent lets the platform choose.
        std::optional<QString> startFolder;
    };

    /// The user's answer to a panel: the chosen absolute paths in the panel's order, or
    /// absent when the user cancelled.
    using PanelAnswer = std::function<void(std::optional<QStringList>)>;

    virtual ~RescuePlatform() = default;

    /// Shows the panel and returns at once; `answer` is called on the main thread once the
    /// user has chosen or cancelled (a window's dialog answers from its event loop, so the
    /// model never waits inside a nested one). Called at most once per panel.
    virtual void runOpenPanel(const OpenPanel& panel, PanelAnswer answer) = 0;

    /// Opens a file manager window with `path` selected.
    virtual void revealInFileManager(const QString& path) = 0;

    /// Linux grants a program access to every location its user can reach, so there is no
    /// scoped access to take: the request reports false, and nothing is released later.
    virtual bool startAccessingSecurityScopedResource(const QString& path) { return false; }
    virtual void stopAccessingSecurityScopedResource(const QString& path) {}
};

}  // namespace keelwick
