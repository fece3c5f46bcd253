#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace keelwick {

/// Writes `bytes` to `path` atomically: readers see the earlier file or the complete new one,
/// never a part, and a failed write leaves the earlier file as it was. Absent on success;
/// otherwise the system's reason.
std::optional<QString> writeFileAtomically(const QString& path, const QByteArray& bytes);

}  // namespace keelwick
