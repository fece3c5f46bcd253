#pragma once

#include <QString>

#include <system_error>

namespace keelwick {

/// The folder of all work folders: "Keelwick" in the temporary folder.
QString workFoldersRoot();

/// A fresh folder, named by a new upper-case UUID inside `workFoldersRoot()`, into which one
/// drawing is unpacked. It is removed on every way out of its scope, and the root with it
/// when nothing else is in it, so a finished drawing leaves nothing in the temporary folder.
class WorkFolder {
  public:
    WorkFolder();
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    /// Creates the folder with its missing parents; the system's error when that fails.
    std::error_code create();
    const QString& path() const { return path_; }

  private:
    QString path_;
    bool created_ = false;
};

}  // namespace keelwick
