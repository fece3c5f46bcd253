import QtQuick

// One of the window's symbols (icons/NAME.svg), tinted; decoration only, never read out.
Image {
    id: symbol
    property string name
    property color color: VellixTheme.text
    property real size: 18

    width: size
    height: size
    source: name ? "image://symbol/" + name + "/" + color.toString().substring(1) : ""
    sourceSize: Qt.size(Math.ceil(size * 2), Math.ceil(size * 2))
    smooth: true
    Accessible.ignored: true
}
