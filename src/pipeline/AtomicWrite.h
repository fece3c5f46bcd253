#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <system_error>

namespace keelwick {

/// Why a write failed: the system's error and the reason the user reads.
struct WriteFailure {
    std::error_code error;
    /// The system's words, or a plainer sentence where those would puzzle (a folder where
    /// the file should go).
    QString reason;
};

/// Writes `bytes` to `path` atomically: readers see the earlier file or the complete new one,
/// never a part. The bytes go to a new file beside the target, which replaces the target only
/// when every byte reached the disk (a full disk or a size limit fails the write); a failed
/// write leaves the earlier file as it was and no temporary file. A replaced file's
/// permission bits are kept; a link at `path` is followed and stays. Absent on success.
std::optional<WriteFailure> writeFileAtomically(const QString& path, const QByteArray& bytes);

}  // namespace keelwick
