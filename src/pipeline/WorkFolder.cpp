#include "pipeline/WorkFolder.h"

#include <QDir>
#include <QUuid>

#include <filesystem>

namespace keelwick {

QString workFoldersRoot() {
    return QDir(QDir::tempPath()).filePath(QStringLiteral("Keelwick"));
}

WorkFolder::WorkFolder()
    : path_(QDir(workFoldersRoot())
                .filePath(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper())) {}

WorkFolder::~WorkFolder() {
    if (created_) {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(path_.toStdString()), ignored);
        QDir().rmdir(workFoldersRoot());
    }
}

std::error_code WorkFolder::create() {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path_.toStdString()), error);
    created_ = true;  // parts of the path may exist even when creating failed
    return error;
}

}  // namespace keelwick
