import QtQuick

// The quiet blueprint behind the panels: one drawing, painted once.
Rectangle {
    color: VellixTheme.background
    Image {
        anchors.fill: parent
        source: "qrc:/Keelwick/art/blueprint.svg"
        sourceSize: Qt.size(width, height)
        fillMode: Image.Stretch
        asynchronous: true
        Accessible.ignored: true
    }
}
