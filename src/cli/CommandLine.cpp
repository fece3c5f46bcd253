#include "cli/CommandLine.h"

#include "pipeline/AtomicWrite.h"
#include "pipeline/ControlCharacters.h"

#include <cstdio>

namespace keelwick::cli {

void printError(const QString& message) {
    writeStandardError(QStringLiteral("keelwick-cli: %1\n").arg(escapeControlCharacters(message)));
}

void writeStandardError(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

void printOutput(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void printOutput(const QString& text) {
    printOutput(text.toUtf8());
}

void installQuietMessageHandler() {
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg) {
            printError(message);
        }
    });
}

QString helpText(const QCommandLineParser& parser, const QString& command) {
    QString text = parser.helpText();
    const qsizetype usageEnd = text.indexOf(QLatin1StringView(" [options]"));
    if (text.startsWith(QLatin1StringView("Usage: ")) && usageEnd > 0) {
        text.replace(0, usageEnd, QStringLiteral("Usage: keelwick-cli ") + command);
    }
    return text;
}

std::optional<int> parseCommandLine(QCommandLineParser& parser, const QStringList& arguments,
                                    const QString& command, Inputs inputs) {
    if (!parser.parse(arguments)) {
        printError(parser.errorText());
        return usageError;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        printOutput(helpText(parser, command));
        return success;
    }
    const qsizetype count = parser.positionalArguments().size();
    if (inputs == Inputs::one && count != 1) {
        printError(
            QStringLiteral("%1 takes exactly one INPUT (see keelwick-cli %1 --help)").arg(command));
        return usageError;
    }
    if (inputs == Inputs::oneOrMore && count == 0) {
        printError(
            QStringLiteral("%1 needs at least one PATH (see keelwick-cli %1 --help)").arg(command));
        return usageError;
    }
    return std::nullopt;
}

bool writeOutputFile(const QString& path, const QByteArray& bytes) {
    if (const std::optional<WriteFailure> failure = writeFileAtomically(path, bytes)) {
        printError(QStringLiteral("%1: %2").arg(path, failure->reason));
        return false;
    }
    return true;
}

QString overviewText() {
    return QStringLiteral(
        "Usage: keelwick-cli COMMAND [OPTIONS]\n"
        "\n"
        "Rescues Graphic/iDraw drawings into SVG, locally.\n"
        "\n"
        "Commands:\n"
        "  rescue PATH... --to DIR [--overwrite] [--previews] [--no-original-images]\n"
        "         [--no-font-notes]\n"
        "                        Rescue every drawing found into an SVG file in DIR\n"
        "                        (mirroring the folders), with its original images and a\n"
        "                        note of missing fonts beside it; write DIR/report.txt.\n"
        "  svg INPUT [-o FILE]   Write the SVG of one drawing (a .idraw archive, a folder\n"
        "                        holding data.xml, or a data.xml file) to FILE or\n"
        "                        standard output.\n"
        "  preview INPUT -o FILE.png [--max N]\n"
        "                        Render the drawing to a PNG preview image whose longer\n"
        "                        side is at most N pixels (default 1200).\n"
        "  analyze PATH... [--json]\n"
        "                        Find the drawings in files and folders and show what\n"
        "                        each holds: stored picture, embedded images, missing\n"
        "                        fonts.\n"
        "  convert PATH... --to DIR [--overwrite]\n"
        "                        Check every drawing found, save its PNG preview in DIR\n"
        "                        (mirroring the folders) and write DIR/report.txt.\n"
        "\n"
        "Options:\n"
        "  -h, --help            Show this help, or a command's help after its name.\n"
        "  -v, --version         Show the version.\n");
}

}  // namespace keelwick::cli
