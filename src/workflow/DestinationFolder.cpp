#include "workflow/DestinationFolder.h"

#include "pipeline/AtomicWrite.h"
#include "pipeline/PipelineError.h"
#include "pipeline/RescueError.h"
#include "pipeline/RescueReportFormatter.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <filesystem>
#include <system_error>

namespace keelwick {
namespace {

/// Writes `bytes` to `path` atomically; what could not be done and why on failure.
std::optional<QString> writeAtomically(const QString& path, const QByteArray& bytes) {
    if (const std::optional<WriteFailure> failure = writeFileAtomically(path, bytes)) {
        return QStringLiteral("Could not write the file “%1”: %2").arg(path, failure->reason);
    }
    return std::nullopt;
}

/// The path with links resolved as far as it exists, the rest appended unchanged; empty for
/// an empty path, which names no folder.
std::filesystem::path resolvedPath(const QString& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path.toStdString(), error);
    if (error || absolute.empty()) {
        return {};
    }
    return std::filesystem::weakly_canonical(absolute, error);
}

bool isSameOrInside(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    auto innerPart = inner.begin();
    for (auto outerPart = outer.begin(); outerPart != outer.end(); ++outerPart, ++innerPart) {
        if (outerPart->empty()) {
            continue;  // the empty last part of a path ending in "/"
        }
        if (innerPart == inner.end() || *innerPart != *outerPart) {
            return false;
        }
    }
    return true;
}

}  // namespace

QString permissionProbeName() {
    return QStringLiteral(".vellix-permission-check-") +
           QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QString> preflightWriteAccess(const QString& outputFolder) {
    std::error_code error;
    std::filesystem::create_directories(outputFolder.toStdString(), error);
    if (error) {
        return PipelineError::fileSystem(error, QStringLiteral("Could not create the folder"),
                                         outputFolder)
            .description;
    }
    const QString probe = QDir(outputFolder).filePath(permissionProbeName());
    if (writeAtomically(
            probe, QByteArrayLiteral("Keelwick checks that it can save preview images here.\n"))) {
        return RescueError::cannotCreateOutputFolder(outputFolder).errorDescription();
    }
    std::filesystem::remove(probe.toStdString(), error);
    if (error) {
        return PipelineError::fileSystem(error, QStringLiteral("Could not remove the file"), probe)
            .description;
    }
    return std::nullopt;
}

std::optional<QString> writeRescueReport(const QList<RescueResult>& results,
                                         const QString& outputFolder,
                                         const QStringList& unreadableFolders) {
    const QString text = RescueReportFormatter::plainText(results, outputFolder, unreadableFolders);
    return writeAtomically(QDir(outputFolder).filePath(QStringLiteral("report.txt")),
                           text.toUtf8());
}

std::optional<QString> sourceHoldingDestination(const QString& destination,
                                                const QStringList& sources) {
    const std::filesystem::path resolvedDestination = resolvedPath(destination);
    for (const QString& source : sources) {
        const std::filesystem::path resolvedSource = resolvedPath(source);
        if (!resolvedSource.empty() && isSameOrInside(resolvedDestination, resolvedSource)) {
            return source;
        }
    }
    return std::nullopt;
}

}  // namespace keelwick
