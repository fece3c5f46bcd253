import QtQuick
import QtQuick.Controls

// A push button of the window: its text is its accessible name, its help text is both
// tooltip and accessible description, and a screen reader's press activates it.
Button {
    id: button
    property string symbol
    property bool prominent: false
    property string helpText

    padding: 10
    leftPadding: 14
    rightPadding: 14
    font.pixelSize: 14
    font.weight: prominent ? Font.DemiBold : Font.Medium
    focusPolicy: Qt.StrongFocus

    ToolTip.visible: helpText !== "" && hovered
    ToolTip.text: helpText
    ToolTip.delay: 600
    Accessible.name: text
    Accessible.description: helpText
    Accessible.onPressAction: if (enabled) clicked()

    contentItem: Row {
        spacing: 7
        Symbol {
            visible: button.symbol !== ""
            name: button.symbol
            size: 16
            color: button.prominent ? "#ffffff" : VellixTheme.accent
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            text: button.text
            font: button.font
            color: button.prominent ? "#ffffff" : VellixTheme.text
            anchors.verticalCenter: parent.verticalCenter
        }
    }
    background: Rectangle {
        implicitHeight: 36
        radius: 9
        color: button.prominent ? (button.down ? Qt.darker(VellixTheme.accent, 1.2) : VellixTheme.accent)
                                : (button.down ? VellixTheme.border : VellixTheme.raisedPanel)
        opacity: button.enabled ? 1 : 0.45
        border.width: button.visualFocus ? 2 : 1
        border.color: button.visualFocus ? VellixTheme.text
                                         : (button.prominent ? VellixTheme.accent : VellixTheme.border)
    }
}
