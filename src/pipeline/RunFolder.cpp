#include "pipeline/RunFolder.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace keelwick::RunFolder {
namespace {

// Bounds the removal of a tree that keeps a part it cannot remove, which would otherwise be
// entered again and again.
constexpr int kMaximumPasses = 100'000;

/// Removes what it can of the entry `name` in the open folder `folder` without entering it:
/// true when it is gone. A folder is made fully accessible first, so that its content can be
/// removed next.
bool removeEntry(int folder, const char* name) {
    if (::unlinkat(folder, name, 0) == 0) {
        return true;
    }
    if (errno != EISDIR) {
        return false;
    }
    ::fchmodat(folder, name, S_IRWXU, 0);
    return ::unlinkat(folder, name, AT_REMOVEDIR) == 0;
}

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

/// One pass over the open folder: removes what it can and opens the first subfolder that is
/// not empty (-1 when there is none). `removed` tells whether anything went.
int removalPass(int folder, bool& removed) {
    alignas(dirent64) char buffer[2048];
    ::lseek(folder, 0, SEEK_SET);
    for (;;) {
        const ssize_t size = ::getdents64(folder, buffer, sizeof buffer);
        if (size <= 0) {
            return -1;
        }
        for (ssize_t offset = 0; offset < size;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
            offset += entry->d_reclen;
            if (isDotOrDotDot(entry->d_name)) {
                continue;
            }
            if (removeEntry(folder, entry->d_name)) {
                removed = true;
                continue;
            }
            const int inner =
                ::openat(folder, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (inner >= 0) {
                return inner;
            }
        }
    }
}

/// Removes the folder at `path` and everything below it, without recursion and with a fixed
/// amount of memory (so a signal handler may call it): each folder is emptied from its start
/// again after a subfolder was entered, and a folder is left by its "..".
void removeTree(const char* path) noexcept {
    int folder = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    int depth = 0;
    for (int pass = 0; folder >= 0 && pass < kMaximumPasses; ++pass) {
        bool removed = false;
        if (const int inner = removalPass(folder, removed); inner >= 0) {
            ::close(folder);
            folder = inner;
            ++depth;
        } else if (!removed) {
            if (depth == 0) {
                break;
            }
            const int outer = ::openat(folder, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(folder);
            folder = outer;
            --depth;
        }
    }
    if (folder >= 0) {
        ::close(folder);
    }
    ::rmdir(path);
}

struct State {
    std::mutex mutex;
    QString path;
    ~State() { remove(); }
};

// Made before main, so it is destroyed after everything made later, such as the preview
// renderer whose browser works in the folder.
State state;

// The folder's path for the signal handler, which may neither allocate nor lock. A replaced
// copy is never freed: a handler may be reading it.
std::atomic<const char*> signalHandlerPath{nullptr};

bool isOurFolder(const QString& path) {
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == ::geteuid();
}

}  // namespace

QString intendedPath() {
    // Qt gives an empty path for a TMPDIR that does not exist, which would put the folder in
    // the working folder: name the missing folder instead, so that making it fails.
    QString temporary = QDir::tempPath();
    if (temporary.isEmpty()) {
        temporary = qEnvironmentVariable("TMPDIR");
    }
    return QDir(temporary).filePath(QStringLiteral("Keelwick-XXXXXX"));
}

QString path(std::error_code* error) {
    const std::lock_guard lock(state.mutex);
    if (!state.path.isEmpty() && isOurFolder(state.path)) {
        return state.path;
    }
    QByteArray made = QFile::encodeName(intendedPath());
    if (::mkdtemp(made.data()) == nullptr) {
        if (error != nullptr) {
            *error = std::error_code(errno, std::system_category());
        }
        return {};
    }
    state.path = QFile::decodeName(made);
    signalHandlerPath.store(::strdup(made.constData()));
    return state.path;
}

QString newPath(const QString& prefix, const QString& suffix) {
    const QString folder = path();
    if (folder.isEmpty()) {
        return {};
    }
    return QDir(folder).filePath(
        prefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + suffix);
}

void remove() {
    const std::lock_guard lock(state.mutex);
    if (state.path.isEmpty()) {
        return;
    }
    if (isOurFolder(state.path)) {
        removeTree(QFile::encodeName(state.path).constData());
    }
    signalHandlerPath.store(nullptr);
    state.path.clear();
}

void removeFromSignalHandler() noexcept {
    if (const char* folder = signalHandlerPath.exchange(nullptr)) {
        removeTree(folder);
    }
}

}  // namespace keelwick::RunFolder
