import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// One missing font: its name, how many drawings use it and which, and the ways to find it.
Rectangle {
    id: row
    required property int index
    required property string name
    required property string lookUpHelp
    required property string referencedBy
    required property var references
    required property var fontList
    property bool showsReferences: false

    implicitHeight: content.implicitHeight + 24
    radius: 12
    color: VellixTheme.panel
    border.color: VellixTheme.border

    ColumnLayout {
        id: content
        anchors.fill: parent
        anchors.margins: 12
        spacing: 6
        RowLayout {
            spacing: 8
            Layout.fillWidth: true
            Symbol { name: "text-format"; size: 18; color: VellixTheme.warning }
            ReadableText {
                text: row.name
                font.pixelSize: 16
                font.weight: Font.DemiBold
                Accessible.description: row.lookUpHelp
                ToolTip.visible: nameHover.containsMouse
                ToolTip.text: row.lookUpHelp
                ToolTip.delay: 600
                MouseArea { id: nameHover; anchors.fill: parent; hoverEnabled: true; acceptedButtons: Qt.NoButton }
            }
            Item { Layout.fillWidth: true }
            ActionButton {
                text: "Copy font name"
                symbol: "copy"
                onClicked: row.fontList.copyName(row.index)
            }
            // "Find font" opens Google Fonts; the arrow beside it offers every service.
            Row {
                spacing: 1
                ActionButton {
                    id: findButton
                    text: "Find font"
                    symbol: "magnifier"
                    helpText: row.lookUpHelp
                    onClicked: row.fontList.findFont(row.index, 0)
                }
                ActionButton {
                    id: servicesButton
                    text: "More font searches for " + row.name
                    display: AbstractButton.IconOnly
                    leftPadding: 8
                    rightPadding: 8
                    implicitHeight: findButton.height
                    contentItem: Symbol { name: "chevron-down"; size: 14; color: VellixTheme.text }
                    onClicked: services.opened ? services.close() : services.open()
                    Popup {
                        id: services
                        y: servicesButton.height + 4
                        x: servicesButton.width - width
                        z: 30  // over the dialog it opens from
                        padding: 6
                        background: Rectangle {
                            radius: 10
                            color: VellixTheme.raisedPanel
                            border.color: VellixTheme.border
                        }
                        Column {
                            spacing: 4
                            Repeater {
                                model: row.fontList.searchTitles
                                ActionButton {
                                    required property string modelData
                                    required property int index
                                    text: modelData
                                    width: 200
                                    onClicked: {
                                        services.close()
                                        row.fontList.findFont(row.index, index)
                                    }
                                }
                            }
                        }
                    }
                }
            }
        }
        ReadableText {
            text: row.referencedBy
            color: VellixTheme.secondaryText
            font.pixelSize: 12
        }
        AbstractButton {
            id: disclosure
            focusPolicy: Qt.StrongFocus
            Accessible.role: Accessible.Button
            Accessible.name: (row.showsReferences ? "Hide " : "Show ") + "file references"
            Accessible.onPressAction: clicked()
            onClicked: row.showsReferences = !row.showsReferences
            contentItem: Row {
                spacing: 6
                Symbol {
                    name: row.showsReferences ? "chevron-down" : "chevron-right"
                    size: 12
                    color: VellixTheme.secondaryText
                    anchors.verticalCenter: parent.verticalCenter
                }
                Symbol { name: "document-text"; size: 14; color: VellixTheme.secondaryText; anchors.verticalCenter: parent.verticalCenter }
                Text {
                    text: "file references"
                    color: disclosure.hovered ? VellixTheme.accent : VellixTheme.secondaryText
                    font.pixelSize: 12
                    anchors.verticalCenter: parent.verticalCenter
                }
            }
            background: Item {}
        }
        Repeater {
            model: row.showsReferences ? row.references : []
            ReadableText {
                required property string modelData
                text: modelData
                font.pixelSize: 12
                color: VellixTheme.secondaryText
                Layout.leftMargin: 24
                Layout.fillWidth: true
            }
        }
    }
}
