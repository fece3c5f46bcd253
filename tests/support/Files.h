#pragma once

// File helpers for tests: whole files read and written, a folder's listing, and a temporary
// folder laid out by relative path.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace keelwick::testing {

/// The bytes of a file; empty when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

/// Writes `bytes` to `path`, making the folders above it first; returns the path.
inline QString writeFile(const QString& path, const QByteArray& bytes = {}) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
    return path;
}

/// Everything in a folder, hidden items included, by name.
inline QStringList contents(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

/// A temporary folder in which a test lays out files, folders and links by relative path.
class FileTree {
  public:
    FileTree() { EXPECT_TRUE(folder_.isValid()); }

    QString path(const QString& relativePath = {}) const {
        const QString root = QDir::cleanPath(folder_.path());
        return relativePath.isEmpty() ? root : root + u'/' + relativePath;
    }
    QString file(const QString& relativePath, const QByteArray& bytes = {}) const {
        return writeFile(path(relativePath), bytes);
    }
    QString folder(const QString& relativePath) const {
        EXPECT_TRUE(QDir().mkpath(path(relativePath)));
        return path(relativePath);
    }
    QString link(const QString& relativePath, const QString& target) const {
        EXPECT_TRUE(QFile::link(target, path(relativePath)));
        return path(relativePath);
    }

  private:
    QTemporaryDir folder_;
};

}  // namespace keelwick::testing
