#include "cli/CommandLine.h"
#include "cli/ModelSession.h"
#include "pipeline/ControlCharacters.h"
#include "pipeline/NativePath.h"
#include "workflow/DrawingScan.h"
#include "workflow/MissingFontGroups.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace keelwick::cli {
namespace {

qint64 previewBytes(const RescueCandidate& candidate) {
    return candidate.storedPicture ? candidate.storedPicture->byteCount : 0;
}

QJsonObject drawingObject(const RescueCandidate& candidate) {
    return QJsonObject{
        {QStringLiteral("path"), readablePath(candidate.url)},
        {QStringLiteral("displayPath"), displayPath(candidate)},
        {QStringLiteral("previewBytes"), previewBytes(candidate)},
        {QStringLiteral("embeddedImageCount"), candidate.embeddedImageCount},
        {QStringLiteral("missingFonts"), QJsonArray::fromStringList(candidate.missingFonts)},
        {QStringLiteral("fontInspectionError"), candidate.fontInspectionError
                                                    ? QJsonValue(*candidate.fontInspectionError)
                                                    : QJsonValue(QJsonValue::Null)},
    };
}

QJsonObject groupObject(const MissingFontGroup& group) {
    QJsonArray references;
    for (const MissingFontReference& reference : group.references) {
        references.append(reference.displayPath);
    }
    return QJsonObject{{QStringLiteral("name"), group.name},
                       {QStringLiteral("references"), references}};
}

QByteArray jsonReport(const QList<RescueCandidate>& candidates) {
    QJsonArray drawings;
    for (const RescueCandidate& candidate : candidates) {
        drawings.append(drawingObject(candidate));
    }
    QJsonArray groups;
    for (const MissingFontGroup& group : missingFontGroups(candidates)) {
        groups.append(groupObject(group));
    }
    const QJsonObject report{{QStringLiteral("drawings"), drawings},
                             {QStringLiteral("missingFontGroups"), groups}};
    return QJsonDocument(report).toJson(QJsonDocument::Indented);
}

QString pictureText(const RescueCandidate& candidate) {
    if (!candidate.storedPicture) {
        return QStringLiteral("none");
    }
    return QStringLiteral("yes, %1 bytes").arg(QLocale::c().toString(previewBytes(candidate)));
}

// Font names and paths come from drawings and file systems: anything in them that a terminal
// would obey is shown escaped.

QString fontList(const QStringList& fonts) {
    QStringList shownFonts;
    for (const QString& font : fonts) {
        shownFonts.append(escapeControlCharacters(font));
    }
    return fonts.isEmpty() ? QStringLiteral("none") : shownFonts.join(u", ");
}

QString drawingBlock(const RescueCandidate& candidate) {
    QString block = escapeControlCharacters(displayPath(candidate)) + u'\n';
    block += QStringLiteral("  stored picture:  ") + pictureText(candidate) + u'\n';
    block += QStringLiteral("  embedded images: ") + QString::number(candidate.embeddedImageCount) +
             u'\n';
    if (candidate.fontInspectionError) {
        block += QStringLiteral("  fonts not inspected: ") +
                 escapeControlCharacters(*candidate.fontInspectionError) + u'\n';
    } else {
        block += QStringLiteral("  missing fonts:   ") + fontList(candidate.missingFonts) + u'\n';
    }
    return block;
}

QString textReport(const QList<RescueCandidate>& candidates) {
    QString text;
    for (const RescueCandidate& candidate : candidates) {
        text += drawingBlock(candidate);
    }
    const QList<MissingFontGroup> groups = missingFontGroups(candidates);
    if (!groups.isEmpty()) {
        text += QStringLiteral("\nMissing fonts:\n");
        for (const MissingFontGroup& group : groups) {
            text += QStringLiteral("  ") + escapeControlCharacters(group.name) + u'\n';
            for (const MissingFontReference& reference : group.references) {
                text +=
                    QStringLiteral("    ") + escapeControlCharacters(reference.displayPath) + u'\n';
            }
        }
    }
    text += QStringLiteral("\n%1 drawings analysed.\n").arg(candidates.size());
    return text;
}

}  // namespace

int runAnalyzeCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Finds the Graphic/iDraw drawings among files and folders (folders are searched\n"
        "through, hidden files skipped) and shows what each holds: its stored picture, its\n"
        "embedded images and the fonts it uses that are not installed; then the missing\n"
        "fonts with the drawings that use them. Nothing is unpacked or written."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("PATH"),
                                 QStringLiteral("Drawings or folders of drawings."),
                                 QStringLiteral("PATH..."));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("Print one JSON object instead of text."));
    parser.addOption(jsonOption);
    if (std::optional<int> done =
            parseCommandLine(parser, arguments, QStringLiteral("analyze"), Inputs::oneOrMore)) {
        return *done;
    }
    const std::optional<QStringList> inputs = existingInputs(parser.positionalArguments());
    if (!inputs) {
        return usageError;
    }
    ModelSession session(ProgressDisplay::modeForStandardError(ProgressDisplay::Mode::quiet));
    if (!session.analyse(*inputs)) {
        printError(session.model().selectionPreviewMessage());
        return interrupted;
    }
    const QList<RescueCandidate>& candidates = session.model().candidates();
    if (candidates.isEmpty()) {
        printError(session.model().currentMessage());
    }
    printOutput(parser.isSet(jsonOption) ? jsonReport(candidates)
                                         : textReport(candidates).toUtf8());
    return success;
}

}  // namespace keelwick::cli
