#include "pipeline/FileKind.h"

#include "pipeline/NativePath.h"

#include <QFile>

#include <sys/stat.h>

#include <system_error>

namespace keelwick {
namespace {

QString kindName(mode_t mode) {
    if (S_ISDIR(mode)) {
        return QStringLiteral("a folder");
    }
    if (S_ISFIFO(mode)) {
        return QStringLiteral("a named pipe (FIFO)");
    }
    if (S_ISSOCK(mode)) {
        return QStringLiteral("a socket");
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return QStringLiteral("a device");
    }
    return QStringLiteral("a special file");
}

}  // namespace

std::optional<PipelineError> notARegularFileError(const QString& path) {
    struct stat status {};
    if (::stat(nativeBytes(path).constData(), &status) != 0 || S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    const std::errc reason =
        S_ISDIR(status.st_mode) ? std::errc::is_a_directory : std::errc::invalid_argument;
    PipelineError error = PipelineError::fileSystem(std::make_error_code(reason),
                                                    QStringLiteral("Could not read"), path);
    error.description = QStringLiteral("“%1” is %2, not a file, so it cannot be read.")
                            .arg(readablePath(path), kindName(status.st_mode));
    return error;
}

}  // namespace keelwick
