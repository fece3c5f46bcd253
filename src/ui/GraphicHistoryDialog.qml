import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The road from Graphic's Macs to the end of Intel apps, as a horizontal timeline.
Sheet {
    id: dialog
    required property var history
    property string dismissTitle: "Done"

    title: "The Graphic / iDraw timeline"
    preferredWidth: 1060

    ColumnLayout {
        anchors.fill: parent
        spacing: 18
        ReadableText {
            text: dialog.title
            font.pixelSize: 26
            font.weight: Font.Bold
        }
        ReadableText {
            text: "Graphic, earlier sold as iDraw and then as Autodesk Graphic, was made for the Mac. "
                  + "The Mac is leaving Intel apps behind: these are the dates that matter for drawings "
                  + "kept in its files."
            color: VellixTheme.secondaryText
            Layout.fillWidth: true
        }
        ListView {
            id: timeline
            orientation: ListView.Horizontal
            model: dialog.history
            spacing: 0
            clip: true
            implicitHeight: 260
            Layout.fillWidth: true
            Accessible.role: Accessible.List
            Accessible.name: "Milestones"
            ScrollBar.horizontal: ScrollBar {}
            delegate: Item {
                id: milestone
                required property string date
                required property string title
                required property bool isWarning
                required property bool isRescueRelease
                readonly property color mark: isRescueRelease ? VellixTheme.accent
                                             : (isWarning ? VellixTheme.warning : VellixTheme.secondaryText)
                // Every milestone in view at once where the window allows it.
                width: Math.max(124, ListView.view.width / ListView.view.count)
                height: ListView.view.height
                Accessible.role: Accessible.ListItem
                Accessible.name: date + ": " + title + (isWarning ? " (warning)" : "")
                Rectangle {
                    x: 0; y: 24; width: parent.width; height: 2
                    color: VellixTheme.border
                }
                Rectangle {
                    x: 12; y: 17; width: 16; height: 16; radius: 8
                    color: milestone.mark
                }
                Symbol {
                    visible: milestone.isWarning
                    name: "warning-triangle"
                    color: VellixTheme.warning
                    size: 16
                    x: 36; y: 17
                }
                Column {
                    x: 12; y: 46; width: parent.width - 24
                    spacing: 6
                    Text {
                        text: milestone.date
                        color: milestone.mark
                        font.pixelSize: 13
                        font.weight: Font.DemiBold
                        width: parent.width
                        wrapMode: Text.Wrap
                    }
                    Text {
                        text: milestone.title
                        color: VellixTheme.text
                        font.pixelSize: 13
                        width: parent.width
                        wrapMode: Text.Wrap
                    }
                }
            }
        }
        ActionButton {
            text: dialog.dismissTitle
            prominent: true
            focus: true
            Layout.alignment: Qt.AlignRight
            onClicked: dialog.close()
        }
    }
}
