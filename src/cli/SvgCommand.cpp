#include "cli/CommandLine.h"
#include "cli/DrawingInput.h"
#include "cli/OutputPath.h"

#include <QCommandLineParser>

namespace keelwick::cli {

int runSvgCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes the SVG of one Graphic/iDraw drawing: INPUT is a .idraw archive, a folder\n"
        "holding data.xml (and Images/) or a data.xml file."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("The drawing."));
    const QCommandLineOption outputOption(
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("Write the SVG to FILE instead of standard output."),
        QStringLiteral("FILE"));
    parser.addOption(outputOption);
    if (std::optional<int> done = parseCommandLine(parser, arguments, QStringLiteral("svg"))) {
        return *done;
    }
    const QString input = parser.positionalArguments().front();
    if (parser.isSet(outputOption)) {
        if (const std::optional<QString> problem =
                outputReplacingInput(parser.value(outputOption), input)) {
            printError(*problem);
            return usageError;
        }
    }
    const std::optional<QString> built = drawingSVG(input);
    if (!built) {
        return failure;
    }
    const QByteArray svg = built->toUtf8();
    if (!parser.isSet(outputOption)) {
        printOutput(svg);
        return success;
    }
    if (!writeOutputFile(parser.value(outputOption), svg)) {
        return failure;
    }
    return success;
}

}  // namespace keelwick::cli
