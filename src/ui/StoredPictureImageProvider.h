#pragma once

#include <QQuickImageProvider>

namespace keelwick {

/// The whole stored picture of a drawing for the picture dialog: "image://storedpicture/PATH"
/// (PATH percent-encoded) reads the picture from the drawing again, off the window's thread,
/// and decodes it at the size asked for. What cannot be read or decoded (no picture any
/// more, not a JPEG, cut short) gives a null image, and the dialog shows its placeholder.
class StoredPictureImageProvider : public QQuickImageProvider {
  public:
    StoredPictureImageProvider()
        : QQuickImageProvider(QQuickImageProvider::Image,
                              QQmlImageProviderBase::ForceAsynchronousImageLoading) {}

    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

}  // namespace keelwick
