#include "ui/ThumbnailImageProvider.h"

#include "workflow/StoredPicture.h"

namespace keelwick {

QImage ThumbnailImageProvider::requestImage(const QString& id, QSize* size,
                                            const QSize& requestedSize) {
    const RescueCandidate* candidate = tree_.candidateWithID(id);
    QImage image;
    if (candidate && candidate->storedPicture) {
        const QSize bound = requestedSize.isValid() && !requestedSize.isEmpty()
                                ? requestedSize
                                : QSize(kThumbnailSide, kThumbnailSide);
        image = decodedPicture(candidate->storedPicture->thumbnailJPEG, bound);
    }
    if (size) {
        *size = image.size();
    }
    return image;
}

}  // namespace keelwick
