#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

namespace keelwick::testing {

/// One finished run of keelwick-cli.
struct CliRun {
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
};

/// Runs the built keelwick-cli with the arguments and waits for it (at most two minutes);
/// `temporaryFolder`, when given, is the program's TMPDIR and its "settings" folder the home
/// of the program's stored settings;
/// otherwise the settings go to the test's own configuration folder.
inline CliRun runCli(const QStringList& arguments, const QString& temporaryFolder = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (!temporaryFolder.isEmpty()) {
        environment.insert(QStringLiteral("TMPDIR"), temporaryFolder);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           temporaryFolder + QStringLiteral("/settings"));
    }
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(KEELWICK_CLI_PATH), arguments);
    process.waitForFinished(120000);
    return CliRun{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                  process.readAllStandardOutput(), process.readAllStandardError()};
}

}  // namespace keelwick::testing
