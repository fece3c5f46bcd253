import QtQuick

// The application's icon and name.
Row {
    property real iconSize: 44
    spacing: 12
    Image {
        width: parent.iconSize
        height: parent.iconSize
        source: "qrc:/Keelwick/art/keelwick.svg"
        sourceSize: Qt.size(parent.iconSize * 2, parent.iconSize * 2)
        Accessible.ignored: true
    }
    ReadableText {
        text: "Keelwick"
        font.pixelSize: 24
        font.weight: Font.Bold
        anchors.verticalCenter: parent.verticalCenter
    }
}
