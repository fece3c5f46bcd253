#pragma once

// Writes that fail part-way, as on a full disk: a small file system of its own (needs the
// administrator, as the tests run in CI) and a file-size limit (works for any user).

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

namespace keelwick::testing {

/// A tmpfs of `size` bytes mounted on a fresh folder, unmounted again at the end. Only the
/// administrator may mount: `isMounted()` is false elsewhere, and the test skips.
class SmallFileSystem {
  public:
    explicit SmallFileSystem(qint64 size) {
        const QByteArray options = "size=" + QByteArray::number(size);
        isMounted_ =
            ::geteuid() == 0 && ::mount("tmpfs", QFile::encodeName(folder_.path()).constData(),
                                        "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallFileSystem() {
        if (isMounted_) {
            ::umount2(QFile::encodeName(folder_.path()).constData(), MNT_DETACH);
        }
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool isMounted() const { return isMounted_; }
    QString path(const QString& relative = {}) const {
        return relative.isEmpty() ? folder_.path() : folder_.filePath(relative);
    }

    /// Fills the file system but for `freeBytes`, which stay for small files.
    void fillLeaving(qint64 freeBytes) const {
        QFile filler(path(QStringLiteral(".filler")));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();
        ASSERT_TRUE(filler.resize(std::max<qint64>(0, filler.size() - freeBytes)));
    }

  private:
    QTemporaryDir folder_;
    bool isMounted_ = false;
};

/// Limits the size of the files this process (and the programs it starts) may write to
/// `bytes`, for its lifetime. A write past the limit fails with "File too large" instead of
/// ending the process.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &earlier_);
        earlierHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = earlier_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &earlier_);
        std::signal(SIGXFSZ, earlierHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit earlier_{};
    void (*earlierHandler_)(int) = nullptr;
};

}  // namespace keelwick::testing
