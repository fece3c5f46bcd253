#pragma once

#include <QQuickImageProvider>

namespace keelwick {

/// The window's symbols, drawn from the SVG files under icons/ in one colour:
/// "image://symbol/NAME/RRGGBB" is icons/NAME.svg filled with #RRGGBB. The files are drawn in
/// black; tinting them here keeps one file per symbol whatever colour a view needs.
class SymbolImageProvider : public QQuickImageProvider {
  public:
    SymbolImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

}  // namespace keelwick
