import QtQuick
import QtQuick.Window

// The quiet blueprint behind the panels: one drawing, painted once.
Rectangle {
    color: VellixTheme.background
    Image {
        anchors.fill: parent
        source: "qrc:/Keelwick/art/blueprint.svg"
        // Drawn at the screen's pixel density, so it stays sharp on high-DPI screens.
        sourceSize: Qt.size(width * Screen.devicePixelRatio, height * Screen.devicePixelRatio)
        fillMode: Image.Stretch
        asynchronous: true
        Accessible.ignored: true
    }
}
