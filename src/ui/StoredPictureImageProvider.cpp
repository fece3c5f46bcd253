#include "ui/StoredPictureImageProvider.h"

#include "workflow/StoredPicture.h"

#include <QUrl>

namespace keelwick {

namespace {

/// Larger than the dialog's frame on any screen, small enough to decode a huge picture fast.
constexpr int kLargestSide = 2048;

}  // namespace

QImage StoredPictureImageProvider::requestImage(const QString& id, QSize* size,
                                                const QSize& requestedSize) {
    const QString archive = QUrl::fromPercentEncoding(id.toUtf8());
    const QSize bound = requestedSize.isValid() && !requestedSize.isEmpty()
                            ? requestedSize.boundedTo(QSize(kLargestSide, kLargestSide))
                            : QSize(kLargestSide, kLargestSide);
    QImage image;
    if (const std::optional<QByteArray> picture = readStoredPicture(archive)) {
        image = decodedPicture(*picture, bound);
    }
    if (size) {
        *size = image.size();
    }
    return image;
}

}  // namespace keelwick
