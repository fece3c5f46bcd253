#include "cli/CommandLine.h"
#include "cli/ModelSession.h"
#include "pipeline/ControlCharacters.h"
#include "pipeline/RescueError.h"
#include "workflow/DestinationFolder.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <functional>

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

/// The two runs on the command line: `convert` checks the drawings and saves their previews,
/// `rescue` writes their SVG files. Everything else they share.
struct BatchRun {
    QString command;
    bool isDryRun = true;
    QString description;
    QString overwriteHelp;
    QString outputLabel;
    QString namedTwice;
    QString keptFiles;
};

const BatchRun kConvert{
    QStringLiteral("convert"),
    true,
    QStringLiteral(
        "Checks every Graphic/iDraw drawing found among files and folders: each is converted\n"
        "in memory and its PNG preview saved in DIR, in the folders it has below the chosen\n"
        "folder; DIR/report.txt lists every drawing with its outcome. Ctrl-C stops after the\n"
        "drawings in progress and still writes the report.\n"
        "Exit status: 0 when every drawing succeeded, 1 when one failed or the run was\n"
        "stopped, 2 when the run could not start."),
    QStringLiteral("Replace preview images already in DIR instead of failing those drawings."),
    QStringLiteral("Preview images"),
    QStringLiteral("%1 drawings were named more than once; each is checked once"),
    QStringLiteral("%1 preview images were in the destination already and were kept; "
                   "--overwrite replaces them"),
};

const BatchRun kRescue{
    QStringLiteral("rescue"),
    false,
    QStringLiteral(
        "Rescues every Graphic/iDraw drawing found among files and folders into an SVG file\n"
        "in DIR, in the folders it has below the chosen folder. Beside each SVG go its\n"
        "embedded images in their original format (NAME_images/) and a note of the fonts it\n"
        "uses that are not installed (NAME_missing-fonts.txt); DIR/report.txt lists every\n"
        "drawing with its outcome. Ctrl-C stops after the drawings in progress and still\n"
        "writes the report.\n"
        "Exit status: 0 when every drawing was rescued, 1 when one failed or the run was\n"
        "stopped, 2 when the run could not start."),
    QStringLiteral("Replace files already in DIR instead of failing those drawings."),
    QStringLiteral("SVG files"),
    QStringLiteral("%1 drawings were named more than once; each is rescued once"),
    QStringLiteral("%1 drawings had files in the destination already, which were kept; "
                   "--overwrite replaces them"),
};

/// How many drawings failed only because their files were in DIR already.
qsizetype keptCount(const RescueViewModel& model) {
    return std::count_if(model.results().begin(), model.results().end(),
                         [](const RescueResult& result) {
                             return result.failedWith(RescueError::Kind::destinationAlreadyExists);
                         });
}

/// Where the run's output went, for the user to open next.
QString outputSummary(const RescueViewModel& model, const BatchRun& run) {
    const QString folder = escapeControlCharacters(model.options().outputFolder);
    QString text = QStringLiteral("%1: %2\n").arg(run.outputLabel, folder);
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

/// Drawings in flight at most: far more than cores anywhere, few enough that every child
/// process stays within what the program tracks.
constexpr int kMostJobs = 64;

/// The number of `--jobs`, or absent when it is no whole number from 1 to `kMostJobs`.
std::optional<int> jobCount(const QString& text) {
    bool isNumber = false;
    const int count = text.toInt(&isNumber);
    return isNumber && count >= 1 && count <= kMostJobs ? std::optional(count) : std::nullopt;
}

/// The options of a run as the command line sets them; the rescue's own only for `rescue`.
struct RunOptions {
    QCommandLineOption to{QStringLiteral("to"),
                          QStringLiteral("Save into DIR (created when missing; required)."),
                          QStringLiteral("DIR")};
    QCommandLineOption overwrite;
    QCommandLineOption previews{QStringLiteral("previews"),
                                QStringLiteral("Also save a PNG preview image beside each SVG.")};
    QCommandLineOption noOriginalImages{
        QStringLiteral("no-original-images"),
        QStringLiteral("Do not store the embedded images in their original format.")};
    QCommandLineOption noFontNotes{
        QStringLiteral("no-font-notes"),
        QStringLiteral("Do not write notes about fonts that are not installed.")};
    QCommandLineOption jobs{
        QStringLiteral("jobs"),
        QStringLiteral("Convert N drawings at once (default: the number of cores, here %1).")
            .arg(RescueOptions::defaultJobCount()),
        QStringLiteral("N")};

    RunOptions(QCommandLineParser& parser, const BatchRun& run)
        : overwrite(QStringLiteral("overwrite"), run.overwriteHelp) {
        parser.addOption(to);
        parser.addOption(overwrite);
        parser.addOption(jobs);
        if (!run.isDryRun) {
            parser.addOptions({previews, noOriginalImages, noFontNotes});
        }
    }

    /// The model's options with the command line's choices.
    RescueOptions applied(RescueOptions options, const QCommandLineParser& parser,
                          const BatchRun& run) const {
        options.overwriteDestinationFiles = parser.isSet(overwrite);
        if (parser.isSet(jobs)) {
            options.jobs = *jobCount(parser.value(jobs));
        }
        if (!run.isDryRun) {
            options.generatePNGPreviewImages = parser.isSet(previews);
            options.storeOriginalImages = !parser.isSet(noOriginalImages);
            options.writeMissingFontNotes = !parser.isSet(noFontNotes);
        }
        return options;
    }
};

/// Scans and analyses the inputs, runs, and reports. The destination was checked already.
int runOn(const QStringList& inputs, const QString& destination, const BatchRun& run,
          const std::function<RescueOptions(RescueOptions)>& chosenOptions) {
    ModelSession session(ProgressDisplay::modeForStandardError(), servicesForRuns());
    RescueViewModel& model = session.model();
    if (!session.analyse(inputs)) {
        printError(model.selectionPreviewMessage());
        return usageError;
    }
    if (model.candidates().isEmpty()) {
        printError(model.currentMessage());
        return usageError;
    }
    if (model.duplicateCandidateCount() > 0) {
        printError(run.namedTwice.arg(model.duplicateCandidateCount()));
    }
    model.setOptions(chosenOptions(model.options()));
    model.useOutputFolder(destination);
    session.runRescue(run.isDryRun);

    if (model.results().isEmpty() && !model.rescueWasCancelled()) {
        printError(model.currentMessage());  // the destination check failed
        return usageError;
    }
    printOutput(escapeControlCharacters(model.currentMessage()) + u'\n' +
                outputSummary(model, run));
    if (const qsizetype kept = keptCount(model); kept > 0) {
        printError(run.keptFiles.arg(kept));
    }
    return exitStatus(model);
}

int runBatch(const QStringList& arguments, const BatchRun& run) {
    QCommandLineParser parser;
    parser.setApplicationDescription(run.description);
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("PATH"),
                                 QStringLiteral("Drawings or folders of drawings."),
                                 QStringLiteral("PATH..."));
    const RunOptions options(parser, run);
    if (std::optional<int> done =
            parseCommandLine(parser, arguments, run.command, Inputs::oneOrMore)) {
        return *done;
    }
    if (!parser.isSet(options.to) || parser.value(options.to).isEmpty()) {
        printError(
            QStringLiteral("%1 needs --to DIR (see keelwick-cli %1 --help)").arg(run.command));
        return usageError;
    }
    if (parser.isSet(options.jobs) && !jobCount(parser.value(options.jobs))) {
        printError(QStringLiteral("--jobs takes a whole number from 1 to %1, not \"%2\"")
                       .arg(kMostJobs)
                       .arg(parser.value(options.jobs)));
        return usageError;
    }
    const std::optional<QStringList> inputs = existingInputs(parser.positionalArguments());
    if (!inputs) {
        return usageError;
    }
    const QString destination = QFileInfo(parser.value(options.to)).absoluteFilePath();
    if (const std::optional<QString> problem = destinationProblem(destination, *inputs)) {
        printError(*problem);
        return usageError;
    }
    return runOn(*inputs, destination, run, [&](RescueOptions chosen) {
        return options.applied(std::move(chosen), parser, run);
    });
}

}  // namespace

int runConvertCommand(const QStringList& arguments) {
    return runBatch(arguments, kConvert);
}

int runRescueCommand(const QStringList& arguments) {
    return runBatch(arguments, kRescue);
}

}  // namespace keelwick::cli
