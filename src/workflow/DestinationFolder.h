#pragma once

#include "pipeline/RescueRecords.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace keelwick {

// The destination folder of a run: the check that it can be written before the first
// drawing, report.txt after the last, and the rule that keeps output out of the drawings'
// own folders. Each operation blocks on the file system and may run on any thread.

/// The name of the probe file written and removed by the destination check: the prefix
/// followed by a new random UUID.
QString permissionProbeName();

/// Creates `outputFolder` with its missing parents, writes a probe file into it and removes
/// the probe again. Absent on success; otherwise the text the user reads: the system's
/// reason when the folder cannot be created or the probe not removed, the
/// `cannotCreateOutputFolder` message when the probe cannot be written.
std::optional<QString> preflightWriteAccess(const QString& outputFolder);

/// Writes report.txt for `results` (and the folders the scan could not read) into
/// `outputFolder` atomically, replacing an earlier one. Absent on success; otherwise why it
/// failed.
std::optional<QString> writeRescueReport(const QList<RescueResult>& results,
                                         const QString& outputFolder,
                                         const QStringList& unreadableFolders = {});

/// The first of `sources` (chosen files or folders) that is `destination` or holds it, with
/// links resolved; absent when the destination lies outside all of them. Output written
/// into the folders being rescued would mix previews with the drawings and be found again
/// by the next scan of that folder.
std::optional<QString> sourceHoldingDestination(const QString& destination,
                                                const QStringList& sources);

}  // namespace keelwick
