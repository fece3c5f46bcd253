#include "workflow/StoredPicture.h"

#include "pipeline/NativePath.h"
#include "workflow/PreviewMetadata.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

namespace keelwick {

QImage decodedPicture(const QByteArray& bytes, QSize bound) {
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        return {};
    }
    // Decoded at the size shown: a JPEG reader then skips most of the work and the memory.
    if (size.width() > bound.width() || size.height() > bound.height()) {
        reader.setScaledSize(size.scaled(bound, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    }
    return reader.read();
}

StoredPicture storedPicture(const QByteArray& jpeg) {
    StoredPicture picture;
    picture.byteCount = jpeg.size();
    const QImage thumbnail = decodedPicture(jpeg, QSize(kThumbnailSide, kThumbnailSide));
    if (!thumbnail.isNull()) {
        QBuffer encoded(&picture.thumbnailJPEG);
        encoded.open(QIODevice::WriteOnly);
        QImageWriter writer(&encoded, "jpeg");
        writer.setQuality(80);
        writer.write(thumbnail);
    }
    return picture;
}

std::optional<QByteArray> readStoredPicture(const QString& archive) {
    const ReachablePath reachable(archive);
    if (!QFileInfo(reachable.path()).isFile()) {
        return std::nullopt;  // gone, or something unzip could wait on forever
    }
    const std::optional<QStringList> entries = zipEntries(reachable.path());
    if (!entries) {
        return std::nullopt;
    }
    return previewJPEGData(reachable.path(), *entries);
}

}  // namespace keelwick
