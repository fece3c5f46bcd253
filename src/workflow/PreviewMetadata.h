#pragma once

#include "convert/Fonts.h"
#include "convert/PropertyListValue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace keelwick {

// The analysis of one drawing before anything is converted: its stored picture, the number
// of images it embeds and the fonts it uses that are not installed. The archive is read with
// the unzip tool, one listing and at most two single-entry extractions, never unpacked whole.
// Pure functions, safe on any thread; every drawing is untrusted and no input makes them
// fail: what cannot be read becomes `fontInspectionError`.

/// What the analysis found in one drawing; copied into its candidate.
struct PreviewMetadata {
    /// The stored JPEG picture; absent when the archive holds none.
    std::optional<QByteArray> previewJPEGData;
    /// Number of image entries in the archive.
    qint64 embeddedImageCount = 0;
    /// Used fonts that are not installed, sorted; empty when `fontInspectionError` is set.
    QStringList missingFonts;
    /// Why the fonts cannot be inspected.
    std::optional<QString> fontInspectionError;

    friend bool operator==(const PreviewMetadata&, const PreviewMetadata&) = default;
};

/// Time-out of each unzip run of the analysis, in seconds.
inline constexpr double kAnalysisToolTimeout = 30;

/// The text split at every newline character (line feed, vertical tab, form feed, carriage
/// return, U+0085, U+2028, U+2029), empty pieces dropped, nothing trimmed.
QStringList splitEntryLines(const QString& text);

/// The archive's entry names in archive order, or absent when it cannot be listed.
std::optional<QStringList> zipEntries(const QString& archive);

/// The bytes of one entry, or absent when it cannot be extracted.
std::optional<QByteArray> zipData(const QString& archive, const QString& entry);

/// How likely a JPEG entry is the stored picture, lower first: 0 for a name with "preview",
/// 2 with "quicklook", else 3 (letter case ignored).
int previewEntryScore(const QString& name);

/// True when `left` is the better stored-picture choice: the lower score, then the name's
/// last component, then the whole name, both in the file-browser order.
bool precedesAsPreview(const QString& left, const QString& right);

/// The bytes of the best JPEG entry; absent when there is none or it cannot be extracted.
std::optional<QByteArray> previewJPEGData(const QString& archive, const QStringList& entries);

/// The entries that are files under a folder named "images" (in any letter case).
qint64 embeddedImageCount(const QStringList& entries);

/// The fonts the document uses that are not installed, sorted by Unicode scalar order.
QStringList missingFontNames(const PropertyListDictionary& document,
                             const InstalledFonts& installedFonts);

/// The whole analysis of one archive.
PreviewMetadata previewMetadata(const QString& archive, const InstalledFonts& installedFonts);

}  // namespace keelwick
