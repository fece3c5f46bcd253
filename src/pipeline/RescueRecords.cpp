#include "pipeline/RescueRecords.h"

#include <QDir>
#include <QHashFunctions>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

namespace keelwick {
namespace {

// An absent optional hashes apart from every present one, an empty text included.
template <typename T>
std::size_t hashOptional(const std::optional<T>& value, std::size_t seed) {
    return value ? qHashMulti(seed, true, *value) : ::qHash(false, seed);
}

}  // namespace

std::size_t qHash(const StoredPicture& picture, std::size_t seed) {
    return qHashMulti(seed, picture.byteCount, picture.thumbnailJPEG);
}

std::size_t qHash(const RescueCandidate& candidate, std::size_t seed) {
    seed = qHashMulti(seed, candidate.id, candidate.url);
    seed = hashOptional(candidate.baseFolder, seed);
    seed = qHashMulti(seed, candidate.isSelected);
    seed = hashOptional(candidate.storedPicture, seed);
    seed = qHashMulti(seed, candidate.embeddedImageCount, candidate.missingFonts);
    return hashOptional(candidate.fontInspectionError, seed);
}

std::optional<QString> pathBelowBaseFolder(const RescueCandidate& candidate) {
    if (!candidate.baseFolder) {
        return std::nullopt;
    }
    const QString prefix = *candidate.baseFolder + u'/';
    if (candidate.url.startsWith(prefix) && candidate.url.size() > prefix.size()) {
        return candidate.url.mid(prefix.size());
    }
    return candidate.url.mid(candidate.url.lastIndexOf(u'/') + 1);
}

bool RescueResult::failedWith(RescueError::Kind kind) const {
    return !succeeded() && errorDomain == RescueError::domain() &&
           errorCode == static_cast<qint64>(kind);
}

QString RescueOptions::defaultOutputFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation))
        .filePath(QStringLiteral("Keelwick"));
}

int RescueOptions::defaultJobCount() {
    return std::max(1, QThread::idealThreadCount());
}

QString statusName(RescueReportEntry::Status status) {
    return status == RescueReportEntry::Status::rescued ? QStringLiteral("rescued")
                                                        : QStringLiteral("failed");
}

QString RescueReportEntry::id() const {
    return statusName(status) + u'-' + title + u'-' + detail;
}

QStringList RescueReportEntry::plainTextLines() const {
    const QChar mark = status == Status::rescued ? QChar(0x2713) : QChar(0x2715);  // ✓ ✕
    QStringList lines{mark + u' ' + title, QStringLiteral("  ") + detail};
    if (!diagnostics.isEmpty()) {
        lines << QStringLiteral("  --- diagnostics ---");
        for (const QString& line : diagnostics) {
            lines << QStringLiteral("  ") + line;
        }
    }
    return lines;
}

std::size_t qHash(const MissingFontReference& reference, std::size_t seed) {
    return qHash(reference.displayPath, seed);
}

std::size_t qHash(const MissingFontInspectionIssue& issue, std::size_t seed) {
    return qHashMulti(seed, issue.displayName, issue.message);
}

}  // namespace keelwick
