#pragma once

// Unpacking one drawing for its rescue: the archive is inspected, unpacked into the
// caller's work folder and the result checked, so that nothing an archive holds can reach
// outside that folder.

#include "pipeline/DiagnosticsLog.h"
#include "pipeline/RescueError.h"
#include "pipeline/ZipTool.h"

#include <QString>

#include <optional>

namespace keelwick {

/// The limits and tools of unpacking. The defaults are the program's; tests choose smaller
/// limits, shorter time-outs or a stand-in for unzip.
struct UnpackRules {
    /// What the listed entries may add up to, and what unzip may really write (2 GiB).
    qint64 maxUnpackedBytes = qint64(2) << 30;
    qint64 maxEntries = 20000;
    /// Bounds the listing and the size check, each.
    double inspectionTimeout = 30;
    double unpackTimeout = 60;
    QString tool = ZipTool::unzipTool();
};

/// Unpacks the drawing `archive` into `folder` (made, and later removed, by the caller) and
/// logs what happened; returns nothing on success, else the error that fails the drawing.
///
/// The unpacking itself runs `ZipTool::extract` for at most 60 seconds and logs
/// "unpack command", "unpack result" and "unpack output"; it fails with `archiveTimedOut`,
/// with `archiveUnreadable` carrying unzip's error text, or with `invalidArchive` when
/// unzip said nothing. Around it, because every drawing is untrusted:
///
/// - Before: the archive is listed (`unzip -Z -l`, logged as "listing command",
///   "listing result", "listing output" and "listed entries"). An archive that cannot be
///   listed fails as above (`invalidArchive` also when unzip finds no zip archive at all:
///   exit status 9, as for an empty or non-zip file). An archive with an encrypted entry,
///   more than 20,000 entries or entries adding up to more than 2 GiB fails with
///   `archiveUnreadable` saying so, before anything is unpacked.
/// - The listed sizes are only the archive's claims, and unzip writes what an entry really
///   inflates to. So the archive is also unpacked to nowhere (`unzip -p`, output counted,
///   never written; logged as "size check"), and one that really unpacks to more than
///   2 GiB fails the same way. unzip is stopped as soon as the limit is passed.
/// - Entries that are symbolic links are left out of the unpacking ("symbolic links left
///   out"), and after it any link or special file in the folder is removed without being
///   followed ("links removed after unpacking"): a linked "data.xml" counts as missing,
///   and nothing outside the folder is ever read through an entry. Folders and files get
///   their owner's read and write permission back, so the folder can be read and removed.
/// - Entry names with ".." or a leading "/" stay inside the folder: unzip drops those
///   parts of the name (and warns, exit status 1).
std::optional<RescueError> extractIDraw(const QString& archive, const QString& folder,
                                        DiagnosticsLog& diagnostics, const UnpackRules& rules = {});

/// What was unpacked, for the log: the number of files and folders at every depth and
/// " total", then at most 12 lines "path (N bytes)" with paths relative to the folder
/// (folders count 0 bytes), then "… and N more" for the rest; "none — the archive
/// unpacked to an empty folder" when there is nothing, "could not be listed" when the
/// folder cannot be read.
///
/// Items come in the file system's enumeration order, each folder right before its
/// contents; hidden items count too. Symbolic links are never followed: one is listed by
/// its own path with 0 bytes.
QString unpackedEntryDescription(const QString& folder);

}  // namespace keelwick
