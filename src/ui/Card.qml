import QtQuick
import QtQuick.Shapes

// A rounded panel filled with the card gradient and outlined with the theme's border.
Item {
    id: card
    property real radius: 14

    Shape {
        anchors.fill: parent
        ShapePath {
            strokeWidth: -1
            fillGradient: LinearGradient {
                x1: 0; y1: 0
                x2: card.width; y2: card.height
                GradientStop { position: 0; color: VellixTheme.cardGradientStart }
                GradientStop { position: 1; color: VellixTheme.cardGradientEnd }
            }
            startX: card.radius; startY: 0
            PathLine { x: card.width - card.radius; y: 0 }
            PathArc { x: card.width; y: card.radius; radiusX: card.radius; radiusY: card.radius }
            PathLine { x: card.width; y: card.height - card.radius }
            PathArc { x: card.width - card.radius; y: card.height; radiusX: card.radius; radiusY: card.radius }
            PathLine { x: card.radius; y: card.height }
            PathArc { x: 0; y: card.height - card.radius; radiusX: card.radius; radiusY: card.radius }
            PathLine { x: 0; y: card.radius }
            PathArc { x: card.radius; y: 0; radiusX: card.radius; radiusY: card.radius }
        }
    }
    // The outline covers the fill's edge, so the corners read smooth.
    Rectangle {
        anchors.fill: parent
        radius: card.radius
        color: "transparent"
        border.color: VellixTheme.border
        border.width: 1
    }
}
