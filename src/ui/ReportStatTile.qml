import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// One counter of the report and the review: its symbol, the number and its label. A tile
// that leads on (`leadsOn`) is a button with a chevron; its help text is tooltip and
// description.
AbstractButton {
    id: tile
    property var value: 0
    property string label
    property color tint: VellixTheme.accent
    property string symbol
    property string help
    property bool leadsOn: false

    hoverEnabled: true
    focusPolicy: leadsOn ? Qt.StrongFocus : Qt.NoFocus
    implicitHeight: 72
    padding: 10
    ToolTip.visible: hovered && help !== ""
    ToolTip.text: help
    ToolTip.delay: 600
    Accessible.role: leadsOn ? Accessible.Button : Accessible.StaticText
    Accessible.name: value + " " + label
    Accessible.description: help
    Accessible.onPressAction: if (leadsOn) clicked()

    contentItem: RowLayout {
        spacing: 10
        Symbol { name: tile.symbol; size: 20; color: tile.tint; Layout.alignment: Qt.AlignTop }
        ColumnLayout {
            spacing: 0
            Layout.fillWidth: true
            Text {
                text: tile.value.toString()
                color: tile.tint
                font.pixelSize: 22
                font.weight: Font.Bold
            }
            Text {
                text: tile.label
                color: VellixTheme.secondaryText
                font.pixelSize: 12
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
        }
        Symbol {
            visible: tile.leadsOn
            name: "chevron-right"
            size: 14
            color: VellixTheme.secondaryText
        }
    }
    background: Rectangle {
        radius: 12
        color: tile.leadsOn && tile.hovered ? VellixTheme.raisedPanel : VellixTheme.panel
        border.width: tile.visualFocus ? 2 : 1
        border.color: tile.visualFocus ? VellixTheme.text : VellixTheme.border
    }
}
