#pragma once

#include "pipeline/RunFolder.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

namespace keelwick::testing {

/// Points TMPDIR at a fresh folder of the test's own and starts a new run folder there, so
/// that what the code under test leaves behind can be seen without other programs' files in
/// the way. The run folder goes when the scope ends.
class TemporaryFolderScope {
  public:
    TemporaryFolderScope() : previous_(qgetenv("TMPDIR")) {
        qputenv("TMPDIR", QFile::encodeName(folder_.path()));
        RunFolder::remove();
    }
    ~TemporaryFolderScope() {
        RunFolder::remove();
        if (previous_.isNull()) {
            qunsetenv("TMPDIR");
        } else {
            qputenv("TMPDIR", previous_);
        }
    }
    TemporaryFolderScope(const TemporaryFolderScope&) = delete;
    TemporaryFolderScope& operator=(const TemporaryFolderScope&) = delete;

    QString path() const { return folder_.path(); }
    /// What is in the folder, and in the run folder inside it (as "run/NAME"), by name.
    QStringList leftovers() const { return temporaryLeftovers(folder_.path()); }

    static QStringList temporaryLeftovers(const QString& folder) {
        const QDir::Filters all =
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
        const QString runFolder = QFileInfo(RunFolder::path()).fileName();
        QStringList found;
        for (const QString& name : QDir(folder).entryList(all)) {
            if (name != runFolder) {
                found.append(name);
            }
        }
        for (const QString& name : QDir(QDir(folder).filePath(runFolder)).entryList(all)) {
            found.append(QStringLiteral("run/") + name);
        }
        return found;
    }

  private:
    QTemporaryDir folder_;
    QByteArray previous_;
};

}  // namespace keelwick::testing
