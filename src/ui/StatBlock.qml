import QtQuick

// One number over its label.
Column {
    id: block
    property var value: 0
    property string label
    property color color: VellixTheme.accent

    spacing: 0
    ReadableText {
        text: block.value.toString()
        color: block.color
        font.pixelSize: 34
        font.weight: Font.Bold
        Accessible.name: block.value + " " + block.label
    }
    ReadableText {
        text: block.label
        color: VellixTheme.secondaryText
        font.pixelSize: 13
        Accessible.ignored: true
    }
}
