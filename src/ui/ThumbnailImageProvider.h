#pragma once

#include "ui/ReviewTreeModel.h"

#include <QQuickImageProvider>

namespace keelwick {

/// The thumbnails of the review's rows: "image://thumbnail/ID" is the thumbnail the candidate
/// with that id keeps, decoded when a row first shows it (only shown rows ask). A thumbnail
/// that cannot be decoded, or a drawing no longer listed, gives a null image: the row's
/// placeholder stays.
class ThumbnailImageProvider : public QQuickImageProvider {
  public:
    explicit ThumbnailImageProvider(const ReviewTreeModel& tree)
        : QQuickImageProvider(QQuickImageProvider::Image), tree_(tree) {}

    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

  private:
    const ReviewTreeModel& tree_;
};

}  // namespace keelwick
