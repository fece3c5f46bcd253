#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace keelwick {

/// The asset file named `name` inside the "Images" folder of `extractedRoot`: the exact name
/// first, then the first listed file with the same `asciiSkeleton`. Absent when none is found
/// or the folder cannot be listed.
std::optional<QString> imageAssetURL(const QString& name, const QString& extractedRoot);

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

/// The image re-encoded as PNG, or absent when it cannot be decoded or encoded.
std::optional<QByteArray> pngData(const QByteArray& bytes);

}  // namespace keelwick
