#include "pipeline/WorkFolder.h"

#include "pipeline/RunFolder.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <cerrno>
#include <filesystem>

#include <sys/stat.h>

namespace keelwick {

WorkFolder::~WorkFolder() {
    if (created_) {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(path_.toStdString()), ignored);
    }
}

std::error_code WorkFolder::create() {
    std::error_code error;
    const QString runFolder = RunFolder::path(&error);
    const QString name = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    if (runFolder.isEmpty()) {
        path_ = QDir(RunFolder::intendedPath()).filePath(name);
        return error;
    }
    path_ = QDir(runFolder).filePath(name);
    // One level only: the run folder is ours, and a name that exists already is not.
    if (::mkdir(QFile::encodeName(path_).constData(), S_IRWXU) != 0) {
        return std::error_code(errno, std::system_category());
    }
    created_ = true;
    return {};
}

}  // namespace keelwick
