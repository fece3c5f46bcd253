import QtQuick
import QtQuick.Controls

// A checkbox of the review's tree, in three states (0 none, 1 some, 2 all): its label is
// what activating it does, its help text both tooltip and description; a screen reader's
// press or toggle activates it.
AbstractButton {
    id: box
    property int checkState: 0
    property string label
    property string help

    implicitWidth: 28
    implicitHeight: 28
    focusPolicy: Qt.NoFocus
    ToolTip.visible: hovered && help !== ""
    ToolTip.text: help
    ToolTip.delay: 600
    Accessible.role: Accessible.CheckBox
    Accessible.name: label
    Accessible.description: help
    Accessible.checkable: true
    Accessible.checked: checkState === 2
    Accessible.checkStateMixed: checkState === 1
    Accessible.onPressAction: clicked()
    Accessible.onToggleAction: clicked()

    contentItem: Symbol {
        name: ["checkbox-empty", "checkbox-partial", "checkbox-checked"][box.checkState]
        size: 22
        color: box.checkState === 0 ? VellixTheme.secondaryText : VellixTheme.accent
    }
    background: Item {}
}
