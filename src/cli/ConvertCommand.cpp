#include "cli/CommandLine.h"
#include "cli/ModelSession.h"
#include "pipeline/ControlCharacters.h"
#include "pipeline/DrawingRescue.h"
#include "pipeline/RescueError.h"
#include "workflow/DestinationFolder.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace keelwick::cli {
namespace {

/// Why the destination cannot be used before anything is scanned, or absent.
std::optional<QString> destinationProblem(const QString& destination, const QStringList& inputs) {
    const QFileInfo info(destination);
    if (info.exists() && !info.isDir()) {
        return QStringLiteral("%1: the destination is a file, not a folder").arg(destination);
    }
    if (const std::optional<QString> source = sourceHoldingDestination(destination, inputs)) {
        return QStringLiteral(
                   "%1: the destination lies inside %2, which is being rescued; "
                   "choose a folder outside it")
            .arg(destination, *source);
    }
    return std::nullopt;
}

/// How many drawings failed only because their preview image was in DIR already.
qsizetype keptPreviewCount(const RescueViewModel& model) {
    qsizetype kept = 0;
    for (const RescueCandidate& candidate : model.candidates()) {
        const QString preview =
            replacingExtension(outputURL(candidate, model.options()), QStringLiteral("png"));
        const QString message = RescueError::destinationAlreadyExists(preview).errorDescription();
        kept += std::count_if(
            model.results().begin(), model.results().end(), [&](const RescueResult& result) {
                return result.sourceURL == candidate.url && result.errorMessage == message;
            });
    }
    return kept;
}

/// Where the run's output went, for the user to open next.
QString outputSummary(const RescueViewModel& model) {
    const QString folder = escapeControlCharacters(model.options().outputFolder);
    QString text = QStringLiteral("Preview images: %1\n").arg(folder);
    if (model.reportWasWritten()) {
        text +=
            QStringLiteral("Report: %1\n").arg(QDir(folder).filePath(QStringLiteral("report.txt")));
    }
    return text;
}

/// The status of a run that started: a stopped run, a failed drawing and a report that could
/// not be written all count as failures.
int exitStatus(const RescueViewModel& model) {
    const bool complete = !model.rescueWasCancelled() && model.reportWasWritten();
    return complete && model.failedCount() == 0 ? success : failure;
}

}  // namespace

int runConvertCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Checks every Graphic/iDraw drawing found among files and folders: each is converted\n"
        "in memory and its PNG preview saved in DIR, in the folders it has below the chosen\n"
        "folder; DIR/report.txt lists every drawing with its outcome. Ctrl-C stops after the\n"
        "current drawing and still writes the report.\n"
        "Exit status: 0 when every drawing succeeded, 1 when one failed or the run was\n"
        "stopped, 2 when the run could not start."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("PATH"),
                                 QStringLiteral("Drawings or folders of drawings."),
                                 QStringLiteral("PATH..."));
    const QCommandLineOption toOption(
        QStringLiteral("to"), QStringLiteral("Save into DIR (created when missing; required)."),
        QStringLiteral("DIR"));
    const QCommandLineOption overwriteOption(
        QStringLiteral("overwrite"),
        QStringLiteral("Replace preview images already in DIR instead of failing those "
                       "drawings."));
    parser.addOption(toOption);
    parser.addOption(overwriteOption);
    if (std::optional<int> done =
            parseCommandLine(parser, arguments, QStringLiteral("convert"), Inputs::oneOrMore)) {
        return *done;
    }
    if (!parser.isSet(toOption) || parser.value(toOption).isEmpty()) {
        printError(QStringLiteral("convert needs --to DIR (see keelwick-cli convert --help)"));
        return usageError;
    }
    const std::optional<QStringList> inputs = existingInputs(parser.positionalArguments());
    if (!inputs) {
        return usageError;
    }
    const QString destination = QFileInfo(parser.value(toOption)).absoluteFilePath();
    if (const std::optional<QString> problem = destinationProblem(destination, *inputs)) {
        printError(*problem);
        return usageError;
    }

    ModelSession session(ProgressDisplay::modeForStandardError(), servicesWithoutStoredPictures());
    RescueViewModel& model = session.model();
    if (!session.analyse(*inputs)) {
        printError(model.selectionPreviewMessage());
        return usageError;
    }
    if (model.candidates().isEmpty()) {
        printError(model.currentMessage());
        return usageError;
    }
    if (model.duplicateCandidateCount() > 0) {
        printError(QStringLiteral("%1 drawings were named more than once; each is checked once")
                       .arg(model.duplicateCandidateCount()));
    }
    RescueOptions options = model.options();
    options.overwriteDestinationFiles = parser.isSet(overwriteOption);
    model.setOptions(options);
    model.useOutputFolder(destination);
    session.runRescue();

    if (model.results().isEmpty() && !model.rescueWasCancelled()) {
        printError(model.currentMessage());  // the destination check failed
        return usageError;
    }
    printOutput(escapeControlCharacters(model.currentMessage()) + u'\n' + outputSummary(model));
    if (const qsizetype kept = keptPreviewCount(model); kept > 0) {
        printError(QStringLiteral("%1 preview images were in the destination already and were "
                                  "kept; --overwrite replaces them")
                       .arg(kept));
    }
    return exitStatus(model);
}

}  // namespace keelwick::cli
