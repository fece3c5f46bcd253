#pragma once

#include <QString>

#include <system_error>

namespace keelwick {

/// A fresh folder, named by a new upper-case UUID inside the program run's private folder
/// (`RunFolder`), into which one drawing is unpacked. It is removed on every way out of its
/// scope, so a finished drawing leaves nothing behind.
class WorkFolder {
  public:
    WorkFolder() = default;
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    /// Creates the folder; the system's error when that fails.
    std::error_code create();
    /// Where the folder is, or was to be made; empty before `create`.
    const QString& path() const { return path_; }

  private:
    QString path_;
    bool created_ = false;
};

}  // namespace keelwick
