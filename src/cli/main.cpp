#include "cli/CommandLine.h"
#include "pipeline/AppIdentity.h"
#include "pipeline/InterruptSignal.h"
#include "pipeline/MemoryTuning.h"
#include "pipeline/NativePath.h"

#include <QGuiApplication>

#include <functional>
#include <map>

using namespace keelwick;

int main(int argc, char** argv) {
    // The core needs fonts and image codecs, never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    keepMemoryBetweenDrawings();
    cleanUpWhenEndedBySignal();
    cli::installQuietMessageHandler();
    QGuiApplication application(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("keelwick-cli"));
    QGuiApplication::setApplicationVersion(AppIdentity::versionString());

    // Qt decodes arguments that are not UTF-8 to U+FFFD, which loses the file's real name;
    // the arguments Qt left in argv are decoded so that every byte is kept.
    QStringList arguments;
    for (int index = 0; index < argc; ++index) {
        arguments.append(pathFromNativeBytes(argv[index]));
    }
    const QString command = arguments.value(1);
    if (command.isEmpty()) {
        cli::printError(QStringLiteral("no command given"));
        cli::writeStandardError(cli::overviewText() + u'\n');
        return cli::usageError;
    }
    if (command == QLatin1StringView("-h") || command == QLatin1StringView("--help") ||
        command == QLatin1StringView("help")) {
        cli::printOutput(cli::overviewText());
        return cli::success;
    }
    if (command == QLatin1StringView("-v") || command == QLatin1StringView("--version")) {
        cli::printOutput(QStringLiteral("keelwick-cli %1\n").arg(AppIdentity::versionString()));
        return cli::success;
    }

    const std::map<QString, std::function<int(const QStringList&)>> commands{
        {QStringLiteral("svg"), cli::runSvgCommand},
        {QStringLiteral("preview"), cli::runPreviewCommand},
        {QStringLiteral("analyze"), cli::runAnalyzeCommand},
        {QStringLiteral("convert"), cli::runConvertCommand},
        {QStringLiteral("rescue"), cli::runRescueCommand},
    };
    const auto found = commands.find(command);
    if (found == commands.end()) {
        cli::printError(
            QStringLiteral("unknown command \"%1\" (see keelwick-cli --help)").arg(command));
        return cli::usageError;
    }
    QStringList commandArguments = arguments;
    commandArguments.removeAt(0);
    commandArguments[0] = QStringLiteral("keelwick-cli ") + command;
    return found->second(commandArguments);
}
