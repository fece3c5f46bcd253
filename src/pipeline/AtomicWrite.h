#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace keelwick {

/// Writes `bytes` to `path` atomically: readers see the earlier file or the complete new one,
/// never a part. The bytes go to a new file beside the target, which replaces the target only
/// when every byte reached the disk (a full disk or a size limit fails the write); a failed
/// write leaves the earlier file as it was and no temporary file. A replaced file's
/// permission bits are kept; a link at `path` is followed and stays. Absent on success;
/// otherwise the reason, in the system's words.
std::optional<QString> writeFileAtomically(const QString& path, const QByteArray& bytes);

}  // namespace keelwick
