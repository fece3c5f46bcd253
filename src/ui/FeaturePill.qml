import QtQuick
import QtQuick.Layouts

// A symbol beside a short promise, in a rounded pill.
Rectangle {
    id: pill
    property string icon
    property string text

    implicitHeight: row.implicitHeight + 20
    radius: 12
    color: Qt.rgba(VellixTheme.raisedPanel.r, VellixTheme.raisedPanel.g, VellixTheme.raisedPanel.b, 0.55)
    border.color: VellixTheme.border

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.margins: 10
        spacing: 10
        Symbol { name: pill.icon; color: VellixTheme.accent; size: 20; Layout.alignment: Qt.AlignVCenter }
        ReadableText {
            text: pill.text
            color: VellixTheme.secondaryText
            font.pixelSize: 13
            Layout.fillWidth: true
        }
    }
}
