#include "workflow/OutputClaims.h"

#include "pipeline/DrawingRescue.h"

#include <QDir>

#include <system_error>

namespace keelwick {
namespace {

PipelineError pathTaken(const QString& previewPath, const QString& description) {
    PipelineError error = PipelineError::fileSystem(std::make_error_code(std::errc::file_exists),
                                                    QStringLiteral("Could not claim"), previewPath);
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
    const QString preview = replacingExtension(output, QStringLiteral("png"));
    const QString report =
        QDir::cleanPath(QDir(options.outputFolder).filePath(QStringLiteral("report.txt")));
    if (isSameOrBelow(output, report)) {
        return pathTaken(preview,
                         QStringLiteral("This drawing's preview image “%1” would go inside “%2”, "
                                        "which this run keeps for its report. Rename the folder "
                                        "“report.txt” that holds the drawing to check it.")
                             .arg(preview, report));
    }
    const auto owner = owners_.constFind(output);
    if (owner != owners_.constEnd()) {
        return pathTaken(preview, QStringLiteral("The drawing “%1” of this run already saves its "
                                                 "preview image to “%2”. Rename one of the two "
                                                 "drawings to check both.")
                                      .arg(*owner, preview));
    }
    owners_.insert(output, candidate.url);
    return std::nullopt;
}

}  // namespace keelwick
