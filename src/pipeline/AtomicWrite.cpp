#include "pipeline/AtomicWrite.h"

#include "pipeline/NativePath.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace keelwick {
namespace {

WriteFailure systemFailure(int error) {
    const std::error_code code(error, std::generic_category());
    return WriteFailure{code, QString::fromStdString(code.message())};
}

/// Where the bytes really go: a link at `path` is followed, as far as it leads, so that the
/// file it names is replaced and the link stays.
QByteArray finalPath(const QString& path) {
    const QByteArray given = nativeBytes(QFileInfo(path).absoluteFilePath());
    struct stat status {};
    if (::lstat(given.constData(), &status) != 0 || !S_ISLNK(status.st_mode)) {
        return given;
    }
    std::error_code error;
    const std::filesystem::path resolved =
        std::filesystem::weakly_canonical(std::filesystem::path(given.toStdString()), error);
    return error ? given : QByteArray::fromStdString(resolved.string());
}

/// A new file beside `target`, made exclusively so that nothing else is ever overwritten;
/// hidden, so a scan of the folder passes over it should it ever be left.
QByteArray temporaryPathBeside(const QByteArray& target) {
    const qsizetype slash = target.lastIndexOf('/');
    return target.left(slash + 1) + ".Keelwick-" +
           QUuid::createUuid().toString(QUuid::WithoutBraces).toUtf8() + ".tmp";
}

/// Writes every byte, going on after partial writes and interruptions; the system's error
/// number when the file system took less than all of them (a full disk, a size limit).
int writeAll(int descriptor, const QByteArray& bytes) {
    const char* next = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(descriptor, next, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return written < 0 ? errno : ENOSPC;
        }
        next += written;
        left -= written;
    }
    return 0;
}

/// Fills the open temporary file and closes it: every byte written, the permission bits of
/// the file it replaces kept, the data on the disk. The system's error number otherwise.
int fillAndClose(int descriptor, const QByteArray& bytes, const struct stat* replaced) {
    int error = writeAll(descriptor, bytes);
    if (error == 0 && replaced != nullptr && ::fchmod(descriptor, replaced->st_mode & 07777) != 0) {
        error = errno;
    }
    if (error == 0 && ::fsync(descriptor) != 0) {
        error = errno;
    }
    // A failed close can be the first report of data that never reached the disk.
    if (::close(descriptor) != 0 && error == 0 && errno != EINTR) {
        error = errno;
    }
    return error;
}

}  // namespace

std::optional<WriteFailure> writeFileAtomically(const QString& path, const QByteArray& bytes) {
    const QByteArray target = finalPath(path);
    struct stat existing {};
    const bool replacing = ::stat(target.constData(), &existing) == 0;
    if (replacing && S_ISDIR(existing.st_mode)) {
        return WriteFailure{
            std::make_error_code(std::errc::is_a_directory),
            QStringLiteral("a folder of that name is in the way; move or rename it")};
    }
    const QByteArray temporary = temporaryPathBeside(target);
    const int descriptor =
        ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (descriptor < 0) {
        return systemFailure(errno);
    }
    int error = fillAndClose(descriptor, bytes, replacing ? &existing : nullptr);
    if (error == 0 && ::rename(temporary.constData(), target.constData()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.constData());
        return systemFailure(error);
    }
    return std::nullopt;
}

}  // namespace keelwick
