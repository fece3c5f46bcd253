#include "cli/CommandLine.h"
#include "convert/VellixConverter.h"
#include "pipeline/DrawingDocument.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>

namespace keelwick::cli {

namespace {

/// Where a drawing given as INPUT keeps its document and its images.
struct DrawingLocation {
    QString dataFile;
    QString extractedRoot;
};

std::optional<DrawingLocation> locate(const QString& input) {
    const QFileInfo info(input);
    if (info.isDir()) {
        return DrawingLocation{QDir(info.absoluteFilePath()).filePath(QStringLiteral("data.xml")),
                               info.absoluteFilePath()};
    }
    if (info.suffix().compare(QLatin1StringView("idraw"), Qt::CaseInsensitive) == 0) {
        return std::nullopt;
    }
    return DrawingLocation{info.absoluteFilePath(), info.absolutePath()};
}

bool writeAtomically(const QString& path, const QByteArray& bytes, QString& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace

int runSvgCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes the SVG of one Graphic/iDraw drawing: INPUT is a folder holding data.xml\n"
        "(and Images/) or a data.xml file."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("The drawing."));
    const QCommandLineOption outputOption(
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("Write the SVG to FILE instead of standard output."),
        QStringLiteral("FILE"));
    parser.addOption(outputOption);
    if (!parser.parse(arguments)) {
        printError(parser.errorText());
        return usageError;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        printOutput(helpText(parser, QStringLiteral("svg")));
        return success;
    }
    const QStringList inputs = parser.positionalArguments();
    if (inputs.size() != 1) {
        printError(QStringLiteral("svg takes exactly one INPUT (see keelwick-cli svg --help)"));
        return usageError;
    }
    const QString& input = inputs.front();
    if (!QFileInfo::exists(input)) {
        printError(QStringLiteral("%1: no such file or folder").arg(input));
        return failure;
    }
    const std::optional<DrawingLocation> location = locate(input);
    if (!location) {
        printError(QStringLiteral("%1: .idraw archives are not read yet; give the unpacked folder")
                       .arg(input));
        return failure;
    }
    QFile dataFile(location->dataFile);
    if (!QFileInfo(location->dataFile).isFile()) {
        printError(RescueError::missingDataPlist().errorDescription());
        return failure;
    }
    if (!dataFile.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("%1: %2").arg(location->dataFile, dataFile.errorString()));
        return failure;
    }
    const DrawingDocument document = DrawingDocument::parse(dataFile.readAll());
    if (!document.succeeded()) {
        printError(document.error()->description);
        return failure;
    }

    SVGContext context;
    context.extractedRoot = location->extractedRoot;
    const QByteArray svg = VellixConverter().buildSVG(document.dictionary(), context).toUtf8();
    if (!parser.isSet(outputOption)) {
        printOutput(svg);
        return success;
    }
    QString error;
    if (!writeAtomically(parser.value(outputOption), svg, error)) {
        printError(QStringLiteral("%1: %2").arg(parser.value(outputOption), error));
        return failure;
    }
    return success;
}

}  // namespace keelwick::cli
