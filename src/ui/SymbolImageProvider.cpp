#include "ui/SymbolImageProvider.h"

#include <QPainter>
#include <QSvgRenderer>

namespace keelwick {

QImage SymbolImageProvider::requestImage(const QString& id, QSize* size,
                                         const QSize& requestedSize) {
    const QString name = id.section(QLatin1Char('/'), 0, 0);
    const QColor color(QLatin1Char('#') + id.section(QLatin1Char('/'), 1, 1));
    QSvgRenderer renderer(QStringLiteral(":/Keelwick/icons/%1.svg").arg(name));
    const QSize imageSize =
        requestedSize.isValid() && !requestedSize.isEmpty() ? requestedSize : QSize(24, 24);
    QImage image(imageSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (renderer.isValid()) {
        QPainter painter(&image);
        renderer.render(&painter);
        // Keep the symbol's shape, take the colour asked for.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color.isValid() ? color : QColor(Qt::white));
    }
    if (size) {
        *size = imageSize;
    }
    return image;
}

}  // namespace keelwick
