#include "cli/CommandLine.h"

#include <cstdio>

namespace keelwick::cli {

void printError(const QString& message) {
    const QByteArray text = QStringLiteral("keelwick-cli: %1\n").arg(message).toUtf8();
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stderr);
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

QString overviewText() {
    return QStringLiteral(
        "Usage: keelwick-cli COMMAND [OPTIONS]\n"
        "\n"
        "Rescues Graphic/iDraw drawings into SVG, locally.\n"
        "\n"
        "Commands:\n"
        "  svg INPUT [-o FILE]   Write the SVG of one drawing (a folder holding data.xml,\n"
        "                        or a data.xml file) to FILE or standard output.\n"
        "\n"
        "Options:\n"
        "  -h, --help            Show this help, or a command's help after its name.\n"
        "  -v, --version         Show the version.\n");
}

}  // namespace keelwick::cli
