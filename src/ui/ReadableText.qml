import QtQuick
import QtQuick.Controls

// A text a person reads, also read out by screen readers.
Label {
    color: VellixTheme.text
    font.pixelSize: 14
    wrapMode: Text.Wrap
    Accessible.role: Accessible.StaticText
    Accessible.name: text
}
