import QtQuick
import QtQuick.Layouts

// Takes dragged files and folders; lit in the accent colour while a drag hovers over it.
Rectangle {
    id: zone
    objectName: "dropZone"
    required property var viewModel
    readonly property bool isDropTargeted: dropArea.containsDrag

    implicitHeight: 132
    radius: 12
    color: isDropTargeted ? Qt.rgba(VellixTheme.accent.r, VellixTheme.accent.g, VellixTheme.accent.b, 0.16)
                          : Qt.rgba(VellixTheme.background.r, VellixTheme.background.g, VellixTheme.background.b, 0.45)
    border.color: isDropTargeted ? VellixTheme.accent : VellixTheme.border
    border.width: isDropTargeted ? 2 : 1

    DropArea {
        id: dropArea
        anchors.fill: parent
        onEntered: drag => drag.accepted = drag.hasUrls
        onDropped: drop => {
            drop.accepted = zone.viewModel.addDroppedURLs(drop.urls)
        }
    }
    ColumnLayout {
        anchors.centerIn: parent
        width: parent.width - 40
        spacing: 6
        Symbol {
            name: "document-upload"
            color: zone.isDropTargeted ? VellixTheme.accent : VellixTheme.secondaryText
            size: 30
            Layout.alignment: Qt.AlignHCenter
        }
        ReadableText {
            text: "Drop Graphic/iDraw drawings or folders here"
            font.pixelSize: 15
            font.weight: Font.DemiBold
            horizontalAlignment: Text.AlignHCenter
            Layout.fillWidth: true
        }
        ReadableText {
            text: "Folders are scanned recursively. Originals stay untouched; SVG rescue copies are written later."
            color: VellixTheme.mutedText
            font.pixelSize: 12
            horizontalAlignment: Text.AlignHCenter
            Layout.fillWidth: true
        }
    }
}
