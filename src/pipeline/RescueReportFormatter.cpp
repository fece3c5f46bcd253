#include "pipeline/RescueReportFormatter.h"

#include "pipeline/ControlCharacters.h"
#include "pipeline/DiagnosticsLog.h"
#include "pipeline/NativePath.h"

#include <QFileInfo>

namespace keelwick::RescueReportFormatter {

namespace {

QString fileName(const QString& path) {
    return QFileInfo(path).fileName();
}

/// The path with its extension replaced by "png": where the preview image lies.
QString previewPath(const QString& outputPath) {
    const QFileInfo info(outputPath);
    const QString suffix = info.suffix();
    const QString stem =
        suffix.isEmpty() ? outputPath : outputPath.left(outputPath.size() - suffix.size() - 1);
    return stem + QStringLiteral(".png");
}

RescueReportEntry entry(const RescueResult& result) {
    RescueReportEntry entry;
    entry.title = readablePath(fileName(result.sourceURL));
    if (result.errorMessage) {
        entry.status = RescueReportEntry::Status::failed;
        entry.detail = QStringLiteral("Could not rescue: ") + *result.errorMessage;
        entry.diagnostics = result.diagnostics;
        return entry;
    }
    entry.status = RescueReportEntry::Status::rescued;
    if (!result.isDryRun) {
        entry.detail = result.outputURL ? QStringLiteral("Saved to: ") + *result.outputURL
                                        : QStringLiteral("Saved as SVG");
    } else if (result.outputURL) {
        entry.detail = QStringLiteral("PNG preview image saved to: ") +
                       previewPath(*result.outputURL) +
                       QStringLiteral(". SVG checked in memory only.");
    } else {
        entry.detail = QStringLiteral("PNG preview image saved. SVG checked in memory only.");
    }
    return entry;
}

/// The entry as report.txt shows it: a line break or other control character in a file name
/// or a message is escaped, so no drawing can start a line of the report or fake an entry.
RescueReportEntry escapedForText(RescueReportEntry entry) {
    entry.title = escapeControlCharacters(entry.title);
    entry.detail = escapeControlCharacters(entry.detail);
    for (QString& line : entry.diagnostics) {
        line = escapeControlCharacters(line);
    }
    return entry;
}

}  // namespace

QList<RescueReportEntry> entries(const QList<RescueResult>& results) {
    QList<RescueReportEntry> list;
    list.reserve(results.size());
    for (const RescueResult& result : results) {
        list.append(entry(result));
    }
    return list;
}

QString plainText(const QList<RescueResult>& results, const std::optional<QString>& destination,
                  const QStringList& unreadableFolders) {
    const QList<RescueReportEntry> reportEntries = entries(results);
    qsizetype failed = 0;
    for (const RescueReportEntry& reportEntry : reportEntries) {
        if (reportEntry.status == RescueReportEntry::Status::failed) {
            ++failed;
        }
    }
    const qsizetype rescued = reportEntries.size() - failed;

    QStringList lines{QStringLiteral("Rescue report")};
    lines.append(DiagnosticsLog::environmentLines());
    if (destination) {
        lines.append(QStringLiteral("Destination: ") + escapeControlCharacters(*destination));
    }
    lines.append(QStringLiteral("Result: %1 rescued, %2 failed").arg(rescued).arg(failed));
    if (!unreadableFolders.isEmpty()) {
        lines.append(
            QStringLiteral("Folders that could not be read (drawings inside them were "
                           "not checked):"));
        for (const QString& folder : unreadableFolders) {
            lines.append(QStringLiteral("  ") + escapeControlCharacters(readablePath(folder)));
        }
    }
    lines.append(QString());
    if (reportEntries.isEmpty()) {
        lines.append(QStringLiteral("No drawings were rescued."));
    }
    for (const RescueReportEntry& reportEntry : reportEntries) {
        lines.append(escapedForText(reportEntry).plainTextLines());
        lines.append(QString());
    }
    if (!reportEntries.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

}  // namespace keelwick::RescueReportFormatter
