import QtQuick
import QtQuick.Controls

// A modal sheet over the window's content: titled for screen readers, closed by Escape.
Dialog {
    id: sheet
    modal: true
    anchors.centerIn: Overlay.overlay
    closePolicy: Popup.CloseOnEscape
    padding: 24
    // Sheets fit inside the window, whatever its size.
    property real preferredWidth: 560
    width: Math.min(preferredWidth, parent ? parent.width - 48 : preferredWidth)

    background: Card { radius: 18 }
    header: Item { implicitHeight: 0 }
    Overlay.modal: Rectangle { color: Qt.rgba(0, 0, 0, 0.55) }
}
