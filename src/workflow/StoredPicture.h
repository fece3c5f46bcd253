#pragma once

#include "pipeline/RescueRecords.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

namespace keelwick {

// The picture a drawing stores inside itself, as the review shows it: a small thumbnail kept
// per candidate, and the whole picture read from the drawing again when it is looked at. The
// bytes are untrusted: what is no JPEG, or is cut short, decodes to as much as it holds or to
// nothing, never more than the bound asked for.

/// Longer side of a thumbnail, in pixels: twice the review's picture tile.
inline constexpr int kThumbnailSide = 112;

/// The picture decoded to fit `bound` (its aspect kept, never enlarged); null when the bytes
/// hold no picture that can be decoded.
QImage decodedPicture(const QByteArray& bytes, QSize bound);

/// What a candidate keeps of the stored picture `jpeg`: its size and a thumbnail.
StoredPicture storedPicture(const QByteArray& jpeg);

/// The stored picture of the drawing at `archive`, read again as the analysis chose it;
/// absent when there is none or the drawing can no longer be read.
std::optional<QByteArray> readStoredPicture(const QString& archive);

}  // namespace keelwick
