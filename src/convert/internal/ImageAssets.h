#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace keelwick {

/// The most bytes an embedded image file may hold. Its base64 text goes into the SVG held in
/// memory, so a drawing cannot make the converter read an unbounded file; a larger file is
/// treated as unreadable (the fill reports a missing asset).
inline constexpr std::int64_t kMaxImageAssetBytes = std::int64_t{256} * 1024 * 1024;

/// The most memory, in megabytes, one decoded image may take while re-encoding. A file that
/// declares larger dimensions is not decoded and is embedded unchanged with its note.
inline constexpr int kImageDecodeAllocationLimitMB = 256;

/// The asset file named `name` inside the "Images" folder of `extractedRoot`: the exact name
/// first, then the first listed file with the same `asciiSkeleton`. Absent when none is found
/// or the folder cannot be listed.
///
/// Only regular files directly inside "Images" are assets: the exact lookup is tried only
/// for a name that is one path component (no "/", not "." or ".."), symbolic links (the
/// "Images" folder itself included) are treated as missing, and an empty `extractedRoot`
/// finds nothing. So no name in a drawing can reach a file outside the folder.
std::optional<QString> imageAssetURL(const QString& name, const QString& extractedRoot);

/// The bytes of an asset file, or absent when it is not a regular file (symbolic links are
/// not followed), cannot be read, or holds more than `maxBytes`.
std::optional<QByteArray> readImageAsset(const QString& path,
                                         std::int64_t maxBytes = kMaxImageAssetBytes);

/// Lowercased, keeping only ASCII letters, digits and ".": "Photo (1).JPG" gives "photo1.jpg".
QString asciiSkeleton(QStringView text);

/// The media type by file-name ending: "image/png", "image/jpeg", "image/tiff", "image/gif",
/// "image/icns" or "application/octet-stream".
QString mimeType(const QString& fileName);

/// What to embed for an image file: the bytes as they are when SVG viewers show their type,
/// else a PNG re-encoding (with a note), else the bytes as they are (with a note).
struct DisplayableImage {
    QByteArray bytes;
    QString mimeType;
    std::optional<QString> note;
};
DisplayableImage displayableImage(const QByteArray& data, const QString& name);

/// The note of `displayableImage` for an image named `name` that was embedded as
/// `embeddedType`: absent when the name's type is displayable.
std::optional<QString> displayableImageNote(const QString& name, const QString& embeddedType);

/// The image re-encoded as PNG, or absent when it cannot be decoded or encoded. The first
/// image of the bytes is taken; when it does not decode, the largest image of a container
/// (an ICNS icon family, for instance) that does.
std::optional<QByteArray> pngData(const QByteArray& bytes);

}  // namespace keelwick
