import QtQuick
import QtQuick.Controls

// A run option: a box and its label, in the window's colours; Space and a screen reader's
// toggle change it.
CheckBox {
    id: box
    focusPolicy: Qt.StrongFocus
    Accessible.name: text
    Accessible.onToggleAction: { toggle(); toggled() }
    Accessible.onPressAction: { toggle(); toggled() }

    indicator: Rectangle {
        x: box.leftPadding
        anchors.verticalCenter: parent.verticalCenter
        width: 18
        height: 18
        radius: 4
        color: box.checked ? VellixTheme.accent : VellixTheme.background
        border.color: box.visualFocus ? VellixTheme.text : VellixTheme.border
        border.width: box.visualFocus ? 2 : 1
        Symbol {
            anchors.centerIn: parent
            visible: box.checked
            name: "checkmark"
            color: "#ffffff"
            size: 14
        }
    }
    contentItem: Text {
        text: box.text
        color: VellixTheme.secondaryText
        font.pixelSize: 13
        leftPadding: box.indicator.width + box.spacing
        verticalAlignment: Text.AlignVCenter
    }
}
