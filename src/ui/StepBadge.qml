import QtQuick

// The step's number in a circle, a checkmark once the step is complete.
Rectangle {
    id: badge
    property int number
    property bool isComplete

    width: 34
    height: 34
    radius: 17
    color: isComplete ? VellixTheme.accent : "transparent"
    border.color: isComplete ? VellixTheme.accent : VellixTheme.border
    border.width: 2
    Text {
        anchors.centerIn: parent
        visible: !badge.isComplete
        text: badge.number
        color: VellixTheme.text
        font.pixelSize: 15
        font.weight: Font.Bold
    }
    Symbol {
        anchors.centerIn: parent
        visible: badge.isComplete
        name: "checkmark"
        color: "#ffffff"
        size: 18
    }
}
