#include "cli/CommandLine.h"
#include "cli/DrawingInput.h"
#include "cli/OutputPath.h"
#include "pipeline/InterruptSignal.h"
#include "pipeline/SVGPreviewImageRenderer.h"

#include <QCommandLineParser>

namespace keelwick::cli {

int runPreviewCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Renders one Graphic/iDraw drawing to a white-backed PNG preview image: INPUT is a\n"
        ".idraw archive, a folder holding data.xml (and Images/) or a data.xml file."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("The drawing."));
    const QCommandLineOption outputOption({QStringLiteral("o"), QStringLiteral("output")},
                                          QStringLiteral("Write the PNG to FILE (required)."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption maxOption(
        QStringLiteral("max"),
        QStringLiteral("The longest side of the image in pixels (default 1200)."),
        QStringLiteral("N"), QStringLiteral("1200"));
    parser.addOption(outputOption);
    parser.addOption(maxOption);
    if (std::optional<int> done = parseCommandLine(parser, arguments, QStringLiteral("preview"))) {
        return *done;
    }
    if (!parser.isSet(outputOption)) {
        printError(QStringLiteral("preview needs -o FILE.png (see keelwick-cli preview --help)"));
        return usageError;
    }
    bool isNumber = false;
    const int maxDimension = parser.value(maxOption).toInt(&isNumber);
    if (!isNumber || maxDimension < 1 || maxDimension > 16384) {
        printError(QStringLiteral("--max takes a whole number of pixels from 1 to 16384"));
        return usageError;
    }
    const QString input = parser.positionalArguments().front();
    if (const std::optional<QString> problem =
            outputReplacingInput(parser.value(outputOption), input)) {
        printError(*problem);
        return usageError;
    }

    const std::optional<QString> svg = drawingSVG(input);
    if (!svg) {
        return failure;
    }
    // Ctrl-C lets the render end, so that the browser and its profile folder are cleaned up.
    const InterruptSignal interrupt;
    Outcome<QByteArray> rendered = SVGPreviewImageRenderer::shared().render(*svg, maxDimension);
    if (interrupt.wasInterrupted()) {
        printError(QStringLiteral("interrupted; nothing was written"));
        return interrupted;
    }
    if (const PipelineError* error = errorOf(rendered)) {
        printError(error->description);
        return failure;
    }
    return writeOutputFile(parser.value(outputOption), std::get<QByteArray>(rendered)) ? success
                                                                                       : failure;
}

}  // namespace keelwick::cli
