import QtQuick
import QtQuick.Controls

// One filter of the review: its symbol and title, highlighted while chosen.
AbstractButton {
    id: pill
    property string title
    property string symbol
    property string help
    property bool isSelected: false

    text: title
    checkable: false
    focusPolicy: Qt.StrongFocus
    padding: 8
    leftPadding: 12
    rightPadding: 14
    ToolTip.visible: hovered
    ToolTip.text: help
    ToolTip.delay: 600
    Accessible.role: Accessible.Button
    Accessible.name: title
    Accessible.description: help
    Accessible.checkable: true
    Accessible.checked: isSelected
    Accessible.onPressAction: clicked()

    contentItem: Row {
        spacing: 6
        Symbol {
            name: pill.symbol
            size: 16
            color: pill.isSelected ? "#ffffff" : VellixTheme.secondaryText
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            text: pill.title
            color: pill.isSelected ? "#ffffff" : VellixTheme.text
            font.pixelSize: 13
            font.weight: pill.isSelected ? Font.DemiBold : Font.Normal
            anchors.verticalCenter: parent.verticalCenter
        }
    }
    background: Rectangle {
        implicitHeight: 32
        radius: height / 2
        color: pill.isSelected ? VellixTheme.accent : VellixTheme.raisedPanel
        border.width: pill.visualFocus ? 2 : 1
        border.color: pill.visualFocus ? VellixTheme.text
                                       : (pill.isSelected ? VellixTheme.accent : VellixTheme.border)
    }
}
