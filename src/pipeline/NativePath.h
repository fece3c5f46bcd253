#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace keelwick {

// File names on Linux are bytes, and old archives are full of names in Latin-1 or Mac Roman
// that are not valid UTF-8. Qt decodes such bytes to U+FFFD, after which the file cannot be
// found again. Paths that come from the file system are therefore decoded here, keeping every
// byte that is not UTF-8 as a lone surrogate U+DC80 + byte, so that the exact name can be
// rebuilt, shown readably and reached.

/// The path of these file-system bytes: UTF-8 decoded, each stray byte kept as U+DC80 + byte.
/// Valid UTF-8 gives the same text as Qt's own decoding.
QString pathFromNativeBytes(QByteArrayView bytes);

/// The exact bytes of a path made by `pathFromNativeBytes` (or any other text).
QByteArray nativeBytes(const QString& path);

/// True when the path keeps bytes that are not UTF-8, so that Qt's file classes cannot reach it.
bool keepsStrayBytes(const QString& path);

/// The path as a person reads it: each stray byte shown as the Latin-1 character of that byte.
QString readablePath(const QString& path);

/// A path that Qt's file classes and child processes can open. Paths of UTF-8 names are used as
/// they are; any other path is opened once and reached through "/proc/PID/fd/N" for as long as
/// this value lives. The opening never blocks, not even on a FIFO.
class ReachablePath {
  public:
    explicit ReachablePath(const QString& path);
    ~ReachablePath();
    ReachablePath(const ReachablePath&) = delete;
    ReachablePath& operator=(const ReachablePath&) = delete;

    /// The path to hand to Qt or a tool; the original path when nothing was needed, or when the
    /// file could not be opened (so that the caller's own error names what is missing).
    const QString& path() const { return path_; }

  private:
    QString path_;
    int descriptor_ = -1;
};

}  // namespace keelwick
