// keelwick-cli convert and rescue with several drawings in flight (--jobs): the same files,
// the same report and the same status as one drawing at a time.

#include "support/CliRunner.h"
#include "support/Files.h"
#include "support/QtPrinting.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace keelwick::testing;

namespace {

/// Every file below `root` (relative paths, sorted) with the checksum of its bytes, except
/// report.txt.
QStringList outputDigest(const QString& root) {
    QStringList digest;
    QDirIterator files(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (path != root + "/report.txt") {
            digest.append(
                QDir(root).relativeFilePath(path) + u' ' +
                QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256).toHex());
        }
    }
    digest.sort();
    return digest;
}

/// report.txt with its destination named OUT and its times, durations and work-folder names
/// blanked.
QString comparableReport(const QString& out) {
    QString report = QString::fromUtf8(readFile(out + "/report.txt"));
    report.replace(out, "OUT");
    static const QRegularExpression times(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(Z|[+-]\d\d:\d\d))");
    static const QRegularExpression uuids(R"([0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12})");
    static const QRegularExpression durations(R"(\b\d+\.\d\ds\b)");
    return report.replace(times, "TIME").replace(uuids, "UUID").replace(durations, "DURATION");
}

/// Eleven drawings in three folders, one of them damaged.
struct Drawings {
    QTemporaryDir folder;
    QString root() const { return folder.filePath("drawings"); }
    Drawings() {
        const QStringList examples{"poster.idraw", "product-sheet.idraw", "logo-study.idraw"};
        for (int n = 0; n < 10; ++n) {
            const QString target =
                root() + QStringLiteral("/part %1/drawing %2.idraw").arg(n % 3).arg(n);
            QDir().mkpath(QFileInfo(target).path());
            QFile::copy(KEELWICK_SOURCE_DIR "/examples/" + examples[n % 3], target);
        }
        QFile::copy(KEELWICK_SOURCE_DIR "/examples/damaged.idraw",
                    root() + "/part 1/damaged.idraw");
    }
};

TEST(CliJobs, SeveralDrawingsInFlightWriteWhatOneAtATimeWrites) {
    const Drawings drawings;
    QTemporaryDir work;
    QDir(work.path()).mkpath("tmp");
    for (const QStringList& command :
         {QStringList{"convert"}, QStringList{"rescue", "--previews"}}) {
        SCOPED_TRACE(command.join(' ').toStdString());
        QList<CliRun> runs;
        QStringList outputs;
        for (const QString jobs : {"1", "4"}) {
            outputs.append(work.filePath(command.front() + jobs));
            runs.append(runCli(
                command + QStringList{drawings.root(), "--to", outputs.back(), "--jobs", jobs},
                work.filePath("tmp")));
        }
        EXPECT_EQ(runs[0].exitCode, 1) << runs[0].standardError.toStdString();
        EXPECT_EQ(runs[1].exitCode, 1) << runs[1].standardError.toStdString();
        EXPECT_EQ(QString(runs[1].standardOutput).replace(outputs[1], "OUT"),
                  QString(runs[0].standardOutput).replace(outputs[0], "OUT"));
        EXPECT_EQ(outputDigest(outputs[1]), outputDigest(outputs[0]));
        EXPECT_EQ(outputDigest(outputs[0]).size(), command.size() == 1 ? 10 : 36);
        EXPECT_EQ(comparableReport(outputs[1]), comparableReport(outputs[0]));
    }
}

TEST(CliJobs, JobsMustBeAWholeNumberOfDrawings) {
    const Drawings drawings;
    QTemporaryDir work;
    for (const QString jobs : {"0", "-1", "two", "65"}) {
        const CliRun run =
            runCli({"convert", drawings.root(), "--to", work.filePath("out"), "--jobs", jobs});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.standardError,
                  "keelwick-cli: --jobs takes a whole number from 1 to 64, not \"" + jobs.toUtf8() +
                      "\"\n");
    }
    EXPECT_FALSE(QFileInfo::exists(work.filePath("out")));
}

}  // namespace
