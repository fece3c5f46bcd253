import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// One row of the About window: a symbol, a title over a subtitle, and for links a mark
// that says the row opens a page outside the program.
ItemDelegate {
    id: row
    property string symbol
    property string subtitle
    property bool isLink: false

    focusPolicy: Qt.StrongFocus
    padding: 12
    Accessible.role: isLink ? Accessible.Link : Accessible.Button
    Accessible.name: text
    Accessible.description: subtitle
    Accessible.onPressAction: clicked()
    ToolTip.visible: hovered
    ToolTip.text: subtitle
    ToolTip.delay: 600

    background: Rectangle {
        radius: 10
        color: row.hovered ? VellixTheme.raisedPanel : Qt.rgba(VellixTheme.raisedPanel.r, VellixTheme.raisedPanel.g, VellixTheme.raisedPanel.b, 0.45)
        border.color: row.visualFocus ? VellixTheme.text : VellixTheme.border
        border.width: row.visualFocus ? 2 : 1
    }
    contentItem: RowLayout {
        spacing: 12
        Symbol { name: row.symbol; color: VellixTheme.accent; size: 22 }
        ColumnLayout {
            spacing: 2
            Layout.fillWidth: true
            Text { text: row.text; color: VellixTheme.text; font.pixelSize: 14; font.weight: Font.DemiBold }
            Text {
                text: row.subtitle
                color: VellixTheme.secondaryText
                font.pixelSize: 12
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
        }
        Symbol { visible: row.isLink; name: "external-link"; color: VellixTheme.mutedText; size: 16 }
    }
}
