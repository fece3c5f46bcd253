import QtQuick
import QtQuick.Controls

// A small mark of a row: a symbol and an optional text; its help text is its tooltip and
// what a screen reader reads.
Item {
    id: badge
    property string symbol
    property color tint: VellixTheme.secondaryText
    property string text
    property string help

    implicitWidth: content.implicitWidth
    implicitHeight: content.implicitHeight
    Accessible.role: Accessible.StaticText
    Accessible.name: help

    Row {
        id: content
        spacing: 4
        Symbol { name: badge.symbol; size: 16; color: badge.tint; anchors.verticalCenter: parent.verticalCenter }
        Text {
            visible: badge.text !== ""
            text: badge.text
            color: badge.tint
            font.pixelSize: 12
            anchors.verticalCenter: parent.verticalCenter
        }
    }
    MouseArea {
        id: hover
        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.NoButton
    }
    ToolTip.visible: hover.containsMouse && help !== ""
    ToolTip.text: help
    ToolTip.delay: 600
}
