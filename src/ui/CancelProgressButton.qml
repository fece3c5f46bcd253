import QtQuick
import QtQuick.Controls

// The stop button of a running job; once pressed it shows that the job is stopping and
// cannot be pressed again.
RoundButton {
    id: cancel
    property bool isCancelling: false
    property string help

    width: 34
    height: 34
    enabled: !isCancelling
    focusPolicy: Qt.StrongFocus
    text: isCancelling ? "Stopping" : "Cancel"
    display: AbstractButton.IconOnly
    ToolTip.visible: hovered
    ToolTip.text: isCancelling ? "Stopping…" : help
    Accessible.name: text
    Accessible.description: ToolTip.text
    Accessible.onPressAction: if (enabled) clicked()

    contentItem: Symbol {
        name: "stop"
        size: 22
        color: cancel.isCancelling ? VellixTheme.mutedText
                                   : (cancel.hovered ? VellixTheme.text : VellixTheme.secondaryText)
    }
    background: Rectangle {
        radius: width / 2
        color: cancel.hovered && cancel.enabled ? VellixTheme.raisedPanel : "transparent"
        border.width: cancel.visualFocus ? 2 : 0
        border.color: VellixTheme.text
    }
}
