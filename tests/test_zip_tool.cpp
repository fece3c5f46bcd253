// The child-process runner behind every use of the archive tool: time-outs, the error
// stream, the outcome's fields and its one-line summary. Children are small shell scripts
// standing in for a slow, chatty or stubborn tool.

#include "pipeline/ZipTool.h"
#include "support/QtPrinting.h"
#include "support/TemporaryFolderScope.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <thread>

namespace keelwick {
namespace {

const QString kShell = QStringLiteral("/bin/sh");

ZipTool::Outcome runScript(const QString& script, double timeout = 10,
                           const QSet<qint32>& successStatuses = {0},
                           const std::optional<QString>& standardOutput = std::nullopt) {
    return ZipTool::run(kShell, {QStringLiteral("-c"), script}, standardOutput, timeout,
                        successStatuses);
}

using testing::TemporaryFolderScope;

TEST(ZipToolRun, AQuarterSecondChildSucceedsWithATwoPartSummary) {
    const ZipTool::Outcome outcome = runScript(QStringLiteral("sleep 0.25; exit 0"));
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_FALSE(outcome.timedOut);
    EXPECT_EQ(outcome.exitStatus, 0);
    EXPECT_TRUE(outcome.message.isEmpty());
    EXPECT_EQ(outcome.command, "/bin/sh -c sleep 0.25; exit 0");
    EXPECT_GE(outcome.duration, 0.24);
    EXPECT_LT(outcome.duration, 3.0);
    EXPECT_EQ(outcome.diagnosticSummary(),
              QStringLiteral("exit 0, ") + QString::asprintf("%.2fs", outcome.duration));
}

TEST(ZipToolRun, SucceedsOnlyForTheCallersStatusesAndNeverAfterASignal) {
    const struct {
        const char* script;
        QSet<qint32> statuses;
        bool succeeded;
    } cases[] = {
        {"exit 1", {0, 1}, true},
        {"exit 1", {0}, false},
        // Killed by signal 1: that number must not pass for unzip's "completed with warnings".
        {"kill -HUP $$", {0, 1}, false},
    };
    for (const auto& [script, statuses, succeeded] : cases) {
        const ZipTool::Outcome outcome = runScript(QString::fromUtf8(script), 10, statuses);
        EXPECT_EQ(outcome.succeeded, succeeded) << script;
        EXPECT_FALSE(outcome.timedOut) << script;
        EXPECT_EQ(outcome.exitStatus, 1) << script;
    }
}

TEST(ZipToolRun, AChildThatIgnoresTerminationIsKilledAfterTheGrace) {
    // The ignored signal stays ignored across exec, so sleep itself ignores it.
    const ZipTool::Outcome outcome =
        runScript(QStringLiteral("trap '' TERM; echo started >&2; exec sleep 30"), 0.3);
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_TRUE(outcome.timedOut);
    EXPECT_FALSE(outcome.exitStatus.has_value());
    EXPECT_TRUE(outcome.message.isEmpty());
    // The time-out, then the 2 seconds the terminated child was given.
    EXPECT_GE(outcome.duration, 2.25);
    EXPECT_LT(outcome.duration, 6.0);
    const QString summary = outcome.diagnosticSummary();
    EXPECT_TRUE(summary.startsWith(QStringLiteral("exit none (killed), TIMED OUT, ")))
        << summary.toStdString();
    EXPECT_TRUE(summary.endsWith(u's'));
}

TEST(ZipToolRun, AChildThatHonoursTerminationIsNotWaitedForLonger) {
    const ZipTool::Outcome outcome = runScript(QStringLiteral("exec sleep 30"), 0.3);
    EXPECT_TRUE(outcome.timedOut);
    EXPECT_FALSE(outcome.exitStatus.has_value());
    EXPECT_GE(outcome.duration, 0.29);
    EXPECT_LT(outcome.duration, 2.0);
}

TEST(ZipToolRun, KeepsTheFirst400CharactersOfTheTrimmedErrorText) {
    const ZipTool::Outcome outcome = runScript(
        QStringLiteral("printf '\\n\\n  \\n\\t' >&2; head -c 1000 /dev/zero | tr '\\000' x >&2; "
                       "printf '\\n\\n' >&2; exit 3"));
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(outcome.exitStatus, 3);
    EXPECT_EQ(outcome.message, QString(400, u'x'));
}

TEST(ZipToolRun, NeverCutsACharacterInHalf) {
    // 399 letters, then "é" written as e and a combining accent: the 400th character is
    // both code points.
    const ZipTool::Outcome outcome =
        runScript(QStringLiteral("head -c 399 /dev/zero | tr '\\000' x >&2; "
                                 "printf 'e\\314\\201yyyy' >&2; exit 2"));
    EXPECT_EQ(outcome.message, QString(399, u'x') + QStringLiteral("e\u0301"));
}

TEST(ZipToolRun, AToolThatCannotBeLaunchedGivesTheLaunchError) {
    const QString tool = QStringLiteral("/nonexistent/keelwick-tool");
    const ZipTool::Outcome outcome =
        ZipTool::run(tool, {QStringLiteral("-x"), QStringLiteral("a b")}, std::nullopt, 10, {0});
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_FALSE(outcome.timedOut);
    EXPECT_FALSE(outcome.exitStatus.has_value());
    EXPECT_EQ(outcome.duration, 0);
    EXPECT_TRUE(outcome.message.contains(QStringLiteral("No such file or directory")))
        << outcome.message.toStdString();
    EXPECT_EQ(outcome.command, "/nonexistent/keelwick-tool -x a b");
    EXPECT_EQ(outcome.diagnosticSummary(), "exit none (killed), 0.00s");
}

TEST(ZipToolRun, TheErrorStreamFileLivesOnlyDuringTheRun) {
    TemporaryFolderScope temporary;
    // The child names the file its error stream goes to.
    const ZipTool::Outcome outcome = runScript(QStringLiteral("readlink /proc/$$/fd/2 >&2"));
    const QRegularExpression name(
        QStringLiteral("^%1/Keelwick-unzip-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-"
                       "[0-9A-F]{12}\\.log$")
            .arg(QRegularExpression::escape(RunFolder::path())));
    EXPECT_TRUE(name.match(outcome.message).hasMatch()) << outcome.message.toStdString();
    EXPECT_FALSE(QFile::exists(outcome.message));

    runScript(QStringLiteral("exec sleep 30"), 0.2);
    ZipTool::run(QStringLiteral("/nonexistent/keelwick-tool"), {}, std::nullopt, 10, {0});
    runScript(QStringLiteral("echo failed >&2; exit 9"));
    EXPECT_TRUE(temporary.leftovers().isEmpty()) << temporary.leftovers().join(u' ').toStdString();
}

TEST(ZipToolRun, WritesStandardOutputToTheCallersFileOrLosesItQuietly) {
    QTemporaryDir folder;
    const QString output = folder.filePath(QStringLiteral("out.txt"));
    QFile stale(output);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("old contents that are longer");
    stale.close();

    EXPECT_TRUE(runScript(QStringLiteral("echo hello"), 10, {0}, output).succeeded);
    QFile written(output);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), "hello\n");

    // A file that cannot be made loses the output, not the run.
    const QString unwritable = folder.filePath(QStringLiteral("missing/out.txt"));
    const ZipTool::Outcome outcome =
        runScript(QStringLiteral("echo hello; echo said >&2"), 10, {0}, unwritable);
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_EQ(outcome.message, "said");
    EXPECT_FALSE(QFile::exists(unwritable));
}

TEST(ZipToolRun, ChildrenReadNothingFromStandardInput) {
    // A tool that waits for an answer gets end of input at once, not a hang.
    const ZipTool::Outcome outcome =
        runScript(QStringLiteral("if read answer; then exit 5; else exit 0; fi"), 5);
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_FALSE(outcome.timedOut);
}

TEST(ZipToolRun, RunsOnThreadsWithoutEventLoopsSeveralAtOnce) {
    std::array<ZipTool::Outcome, 4> outcomes;
    std::array<std::thread, 4> threads;
    for (std::size_t index = 0; index < threads.size(); ++index) {
        threads[index] = std::thread([&outcomes, index] {
            outcomes[index] = runScript(
                QStringLiteral("sleep 0.2; echo child %1 >&2; exit %1").arg(index + 10), 10, {10});
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (std::size_t index = 0; index < outcomes.size(); ++index) {
        EXPECT_EQ(outcomes[index].exitStatus, static_cast<qint32>(index + 10));
        EXPECT_EQ(outcomes[index].message, QStringLiteral("child %1").arg(index + 10));
        EXPECT_EQ(outcomes[index].succeeded, index == 0);
    }

    // A time-out on such a thread is handled too.
    ZipTool::Outcome stubborn;
    std::thread([&stubborn] { stubborn = runScript(QStringLiteral("exec sleep 30"), 0.2); }).join();
    EXPECT_TRUE(stubborn.timedOut);
}

TEST(ZipToolCountOutput, CountsWhatTheChildWritesWithoutKeepingIt) {
    const ZipTool::OutputCount count = ZipTool::countOutput(
        kShell, {QStringLiteral("-c"), QStringLiteral("head -c 300000 /dev/zero; exit 1")}, 300000,
        10, {0, 1});
    EXPECT_EQ(count.bytes, 300000);
    EXPECT_FALSE(count.exceededLimit);
    EXPECT_TRUE(count.outcome.succeeded);
    EXPECT_EQ(count.outcome.exitStatus, 1);
}

TEST(ZipToolCountOutput, StopsAnEndlessChildJustPastTheLimit) {
    const ZipTool::OutputCount count = ZipTool::countOutput(
        kShell, {QStringLiteral("-c"), QStringLiteral("exec cat /dev/zero")}, 1000000, 30, {0});
    EXPECT_TRUE(count.exceededLimit);
    EXPECT_GT(count.bytes, 1000000);
    EXPECT_FALSE(count.outcome.succeeded);
    EXPECT_FALSE(count.outcome.timedOut);
    EXPECT_FALSE(count.outcome.exitStatus.has_value());
    EXPECT_LT(count.outcome.duration, 10.0);
}

TEST(ZipToolCountOutput, TimesOutAChildThatNeitherWritesNorEnds) {
    const ZipTool::OutputCount silent = ZipTool::countOutput(
        kShell, {QStringLiteral("-c"), QStringLiteral("exec sleep 30")}, 1000, 0.3, {0});
    EXPECT_TRUE(silent.outcome.timedOut);
    EXPECT_FALSE(silent.outcome.exitStatus.has_value());
    EXPECT_LT(silent.outcome.duration, 2.0);

    // Closing the output early does not make the child's end come sooner.
    const ZipTool::OutputCount closed = ZipTool::countOutput(
        kShell, {QStringLiteral("-c"), QStringLiteral("exec >&-; exec sleep 30")}, 1000, 0.3, {0});
    EXPECT_TRUE(closed.outcome.timedOut);
    EXPECT_LT(closed.outcome.duration, 2.0);
}

}  // namespace
}  // namespace keelwick
