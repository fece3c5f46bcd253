#pragma once

#include "pipeline/RescueError.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <cstddef>
#include <functional>
#include <optional>

namespace keelwick {

// The value records that carry one drawing through the system. All are plain values:
// copied on assignment, no shared state, no identity beyond their fields, no input or
// output. Paths ("URL" in the records' vocabulary) are absolute file paths. Fields marked
// fixed are set when the record is made and left alone afterwards; the others may be
// changed by the owner of the value.

/// What a candidate keeps of the JPEG picture stored inside its drawing: the picture's size
/// and a small thumbnail for the review's rows, never the picture itself (an archive of
/// thousands of drawings would otherwise hold gigabytes). The picture is read from the
/// drawing again when a person asks to see it.
struct StoredPicture {
    /// Size of the stored JPEG in bytes.
    qint64 byteCount = 0;
    /// A small JPEG made from the picture; empty when the picture could not be decoded.
    QByteArray thumbnailJPEG;

    friend bool operator==(const StoredPicture&, const StoredPicture&) = default;
};

std::size_t qHash(const StoredPicture& picture, std::size_t seed = 0);

/// One drawing found by a scan and offered for rescue; the analysis fills its findings.
struct RescueCandidate {
    /// Fixed: identity in lists and selections.
    QUuid id = QUuid::createUuid();
    /// Fixed: the Graphic/iDraw file on disk.
    QString url;
    /// Fixed: the folder the user chose when the drawing was found by scanning it; absent
    /// when the user chose the file itself. Root of display paths and of the output layout.
    std::optional<QString> baseFolder;
    /// The user keeps the drawing in the run.
    bool isSelected = true;
    /// The JPEG preview stored inside the drawing, as far as the review needs it.
    std::optional<StoredPicture> storedPicture;
    qint64 embeddedImageCount = 0;
    /// Fonts the drawing uses that are not installed.
    QStringList missingFonts;
    /// Why the drawing's fonts could not be inspected.
    std::optional<QString> fontInspectionError;

    RescueCandidate() = default;
    explicit RescueCandidate(QString url, std::optional<QString> baseFolder = std::nullopt)
        : url(std::move(url)), baseFolder(std::move(baseFolder)) {}

    /// All eight fields, in declaration order; the stored picture by content.
    friend bool operator==(const RescueCandidate&, const RescueCandidate&) = default;
};

std::size_t qHash(const RescueCandidate& candidate, std::size_t seed = 0);

/// The drawing's path relative to its base folder ("Old/x.idraw"), or its file name when it
/// does not lie below it; absent when it was chosen on its own. Relative, not every occurrence
/// of the folder's text removed: "/a/x/a/y.idraw" found under "/a" is "x/a/y.idraw", never
/// "xy.idraw", which could name another drawing.
std::optional<QString> pathBelowBaseFolder(const RescueCandidate& candidate);

/// The user's choices for a run. It defines no equality.
struct RescueOptions {
    bool writeMissingFontNotes = true;
    bool storeOriginalImages = true;
    /// When false, a file already at an output path fails the drawing.
    bool overwriteDestinationFiles = false;
    bool generatePNGPreviewImages = false;
    /// Root of all output paths.
    QString outputFolder = defaultOutputFolder();
    /// The kind of run, set by the model when a run starts: true for a check (SVG checked in
    /// memory, PNG preview written), false for a rescue that writes the SVG files.
    bool isDryRun = true;
    /// How many drawings a run converts at once (at least 1); the results, the report and
    /// the stop rule are those of a run that converts one after another.
    int jobs = defaultJobCount();

    /// The folder "Keelwick" inside the user's desktop folder.
    static QString defaultOutputFolder();
    /// One drawing in flight per core.
    static int defaultJobCount();
};

/// What one drawing's rescue produced. A result is a success exactly when `errorMessage`
/// is absent; every counter uses that test and no other field.
struct RescueResult {
    /// Fixed: a new identity per result.
    QUuid id = QUuid::createUuid();
    /// Fixed: the candidate's file.
    QString sourceURL;
    /// Fixed: on success the drawing's SVG output path (the PNG preview lies beside it with
    /// the extension "png"); absent on failure.
    std::optional<QString> outputURL;
    /// Fixed: used fonts that are not installed; empty on failure.
    QStringList missingFonts;
    /// Fixed: absent on success; on failure the user-facing description.
    std::optional<QString> errorMessage;
    /// On failure the error's domain and code, by which callers tell failures apart (never by
    /// their texts); empty and 0 on success.
    QString errorDomain;
    qint64 errorCode = 0;
    /// On failure the drawing's diagnostics log lines; empty on success.
    QStringList diagnostics;
    qint64 embeddedImageCount = 0;
    /// True for a check run (SVG built in memory, PNG preview written); false on failure.
    bool isDryRun = false;

    bool succeeded() const { return !errorMessage.has_value(); }
    /// True when the drawing failed with this rescue error.
    bool failedWith(RescueError::Kind kind) const;
};

/// One drawing's block in the report.
struct RescueReportEntry {
    enum class Status { rescued, failed };

    Status status = Status::rescued;
    /// The file name (with extension) of the result's source.
    QString title;
    /// One sentence about the outcome.
    QString detail;
    /// The result's diagnostics for a failed entry; empty for a rescued one.
    QStringList diagnostics;

    /// The status's case name, "-", the title, "-" and the detail.
    QString id() const;
    /// The mark and title, the detail, then the diagnostics under a heading when present.
    QStringList plainTextLines() const;
};

/// "rescued" or "failed".
QString statusName(RescueReportEntry::Status status);

/// One drawing that uses a missing font, as shown to the user.
struct MissingFontReference {
    QString displayPath;

    QString id() const { return displayPath; }
    friend bool operator==(const MissingFontReference&, const MissingFontReference&) = default;
};

std::size_t qHash(const MissingFontReference& reference, std::size_t seed = 0);

/// One missing font and the drawings that use it. It defines no equality.
struct MissingFontGroup {
    QString name;
    QList<MissingFontReference> references;

    QString id() const { return name; }
};

/// A drawing whose fonts could not be inspected.
struct MissingFontInspectionIssue {
    /// The file name of the drawing.
    QString displayName;
    /// The drawing's font-inspection error.
    QString message;

    QString id() const { return displayName + u'-' + message; }
    friend bool operator==(const MissingFontInspectionIssue&,
                           const MissingFontInspectionIssue&) = default;
};

std::size_t qHash(const MissingFontInspectionIssue& issue, std::size_t seed = 0);

}  // namespace keelwick

template <>
struct std::hash<keelwick::RescueCandidate> {
    std::size_t operator()(const keelwick::RescueCandidate& value) const {
        return keelwick::qHash(value);
    }
};

template <>
struct std::hash<keelwick::MissingFontReference> {
    std::size_t operator()(const keelwick::MissingFontReference& value) const {
        return keelwick::qHash(value);
    }
};

template <>
struct std::hash<keelwick::MissingFontInspectionIssue> {
    std::size_t operator()(const keelwick::MissingFontInspectionIssue& value) const {
        return keelwick::qHash(value);
    }
};
