import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// One row of the review's tree: a folder (disclosure, three-state checkbox, name, count) or
// a drawing (checkbox, name that reveals it, stored-picture tile, "Show original", image
// badge, font status), indented by its depth.
Rectangle {
    id: row
    required property int index
    required property string name
    required property int depth
    required property bool isFolder
    required property bool isExpanded
    required property int checkState
    required property string checkLabel
    required property string checkHelp
    required property var countText
    required property var pathHelp
    required property var thumbnail
    required property var pictureHelp
    required property var imageCount
    required property var imageHelp
    required property var fontStatus
    required property var fontStatusText
    required property var fontStatusHelp
    required property var tree
    readonly property bool isCurrent: ListView.isCurrentItem

    signal showPreview(int row)

    width: ListView.view ? ListView.view.width : 0
    height: isFolder ? 36 : 48
    radius: 8
    color: isCurrent && ListView.view.activeFocus ? VellixTheme.raisedPanel : "transparent"
    border.width: isCurrent && ListView.view.activeFocus ? 1 : 0
    border.color: VellixTheme.accent

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 6 + row.depth * 22
        anchors.rightMargin: 10
        spacing: 8

        AbstractButton {
            visible: row.isFolder
            implicitWidth: 20
            implicitHeight: 20
            focusPolicy: Qt.NoFocus
            Accessible.role: Accessible.Button
            Accessible.name: (row.isExpanded ? "Collapse " : "Expand ") + row.name
            Accessible.onPressAction: clicked()
            onClicked: row.tree.setExpanded(row.index, !row.isExpanded)
            contentItem: Symbol {
                name: row.isExpanded ? "chevron-down" : "chevron-right"
                size: 14
                color: VellixTheme.secondaryText
            }
            background: Item {}
        }
        ReviewCheckBox {
            checkState: row.checkState
            label: row.checkLabel
            help: row.checkHelp
            onClicked: row.tree.toggle(row.index)
        }
        Symbol {
            visible: row.isFolder
            name: "folder"
            size: 18
            color: VellixTheme.accent
        }
        // A folder's name and count.
        Text {
            visible: row.isFolder
            text: row.name
            color: VellixTheme.text
            font.pixelSize: 14
            font.weight: Font.DemiBold
            elide: Text.ElideMiddle
            Layout.fillWidth: true
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Text {
            visible: row.isFolder
            text: row.countText || ""
            color: VellixTheme.secondaryText
            font.pixelSize: 12
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }

        // A drawing: its picture, name, badges.
        AbstractButton {
            id: tile
            visible: !row.isFolder
            implicitWidth: 52
            implicitHeight: 39
            focusPolicy: Qt.NoFocus
            ToolTip.visible: hovered
            ToolTip.text: row.pictureHelp || ""
            ToolTip.delay: 600
            Accessible.role: Accessible.Button
            Accessible.name: "Picture of " + row.name
            Accessible.description: row.pictureHelp || ""
            Accessible.onPressAction: clicked()
            onClicked: row.showPreview(row.index)
            contentItem: Item {
                Image {
                    id: thumbnailImage
                    anchors.fill: parent
                    source: row.isFolder ? "" : (row.thumbnail || "")
                    sourceSize: Qt.size(112, 112)
                    fillMode: Image.PreserveAspectFit
                    Accessible.ignored: true
                }
                Symbol {
                    visible: thumbnailImage.status !== Image.Ready
                    anchors.centerIn: parent
                    name: "photo"
                    size: 20
                    color: VellixTheme.mutedText
                }
            }
            background: Rectangle {
                radius: 6
                color: VellixTheme.background
                border.width: 1
                border.color: tile.hovered ? VellixTheme.accent : VellixTheme.border
            }
        }
        AbstractButton {
            id: path
            visible: !row.isFolder
            focusPolicy: Qt.NoFocus
            Layout.fillWidth: true
            ToolTip.visible: hovered
            ToolTip.text: row.pathHelp || ""
            ToolTip.delay: 600
            Accessible.role: Accessible.Button
            Accessible.name: row.name
            Accessible.description: row.pathHelp || ""
            Accessible.onPressAction: clicked()
            onClicked: row.tree.reveal(row.index)
            contentItem: Text {
                text: row.name
                color: path.hovered ? VellixTheme.accent : VellixTheme.text
                font.pixelSize: 14
                font.underline: path.hovered
                elide: Text.ElideMiddle
            }
            background: Item {}
        }
        ActionButton {
            visible: !row.isFolder
            text: "Show original"
            symbol: "eye"
            helpText: row.pictureHelp || ""
            padding: 6
            font.pixelSize: 12
            focusPolicy: Qt.NoFocus
            onClicked: row.showPreview(row.index)
        }
        Badge {
            visible: !row.isFolder && row.imageCount > 0
            symbol: "photo"
            tint: "#4fd1c5"
            text: visible ? row.imageCount.toString() : ""
            help: row.imageHelp || ""
        }
        Badge {
            visible: !row.isFolder
            symbol: ["checkmark-circle", "text-format", "warning-triangle"][row.fontStatus || 0]
            tint: [VellixTheme.success, VellixTheme.warning, VellixTheme.warning][row.fontStatus || 0]
            text: row.fontStatus === 1 ? row.fontStatusText : ""
            help: row.fontStatusHelp || ""
            Layout.minimumWidth: 36
        }
    }
}
