#include "workflow/OutputClaims.h"

#include "pipeline/DrawingRescue.h"

#include <QDir>

#include <system_error>

namespace keelwick {
namespace {

PipelineError pathTaken(const QString& path, const QString& description) {
    PipelineError error = PipelineError::fileSystem(std::make_error_code(std::errc::file_exists),
                                                    QStringLiteral("Could not claim"), path);
    error.description = description;
    return error;
}

bool isSameOrBelow(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(folder + u'/');
}

}  // namespace

std::optional<PipelineError> OutputClaims::claim(const RescueCandidate& candidate,
                                                 const RescueOptions& options) {
    const QString output = QDir::cleanPath(outputURL(candidate, options));
    // A check names the preview it writes, a rescue the SVG file (its other files lie beside).
    const QString target =
        options.isDryRun ? replacingExtension(output, QStringLiteral("png")) : output;
    const QString file =
        options.isDryRun ? QStringLiteral("preview image") : QStringLiteral("SVG file");
    const QString action = options.isDryRun ? QStringLiteral("check") : QStringLiteral("rescue");
    const QString report =
        QDir::cleanPath(QDir(options.outputFolder).filePath(QStringLiteral("report.txt")));
    if (isSameOrBelow(output, report)) {
        return pathTaken(target, QStringLiteral("This drawing's %1 “%2” would go inside “%3”, "
                                                "which this run keeps for its report. Rename the "
                                                "folder “report.txt” that holds the drawing to %4 "
                                                "it.")
                                     .arg(file, target, report, action));
    }
    const auto owner = owners_.constFind(output);
    if (owner != owners_.constEnd()) {
        return pathTaken(target, QStringLiteral("The drawing “%1” of this run already saves its "
                                                "%2 to “%3”. Rename one of the two drawings to %4 "
                                                "both.")
                                     .arg(*owner, file, target, action));
    }
    owners_.insert(output, candidate.url);
    return std::nullopt;
}

}  // namespace keelwick
