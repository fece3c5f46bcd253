#pragma once

#include "pipeline/RescueRecords.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace keelwick {

// Finding drawings: turning the files and folders the user points at into candidates, and
// the display path that orders them, labels their missing-font references and builds the
// review tree. Pure functions with no model state, safe on any thread.

/// The order a file browser sorts names in: letter case ignored, runs of digits compared
/// by numeric value ("9" before "10"). Negative, zero or positive like `QString::compare`.
int localizedStandardCompare(const QString& left, const QString& right);

/// The last component of a path split at "/", empty components dropped; the whole path
/// when it has no component.
QString lastPathComponent(const QString& path);

/// The extension of a path's last component, without the dot: empty when the name has no
/// dot, ends with one or only starts with one (".idraw" has no extension).
QString pathExtension(const QString& path);

/// True when the path's extension is "idraw" in any letter case.
bool hasDrawingExtension(const QString& path);

/// The path below the chosen folder, or the full path when the drawing was chosen itself;
/// readable, for people.
QString displayPath(const RescueCandidate& candidate);

/// What a scan found: the candidates, and the folders it had to pass over because they could
/// not be read, so that the person can be told which drawings were not looked at.
struct ScanFindings {
    QList<RescueCandidate> candidates;
    QStringList unreadableFolders;

    void append(ScanFindings&& more);
};

/// Every item below `folder` named like a drawing, whatever it is, with `baseFolder` the
/// folder. Hidden items are skipped; unreadable folders are passed over and named. Names that
/// are not UTF-8 are found too (see NativePath.h).
ScanFindings scanFolder(const QString& folder);

/// The candidates for the chosen paths, in order: folders are scanned, drawing files become
/// candidates without a base folder, everything else (and paths with nothing there) is
/// skipped.
ScanFindings scan(const QStringList& urls);

/// The path with "." and ".." resolved, made absolute first: how two candidates are told to
/// be the same drawing.
QString standardizedPath(const QString& path);

/// The candidates without those whose standardized path came earlier; the first stays.
QList<RescueCandidate> deduplicated(const QList<RescueCandidate>& candidates);

/// The candidates sorted by display path in the file-browser order, stably.
QList<RescueCandidate> sortedByDisplayPath(QList<RescueCandidate> candidates);

}  // namespace keelwick
