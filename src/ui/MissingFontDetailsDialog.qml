import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The fonts the drawings use and that are not installed, grouped by font name, with ways
// to look each one up; and the drawings whose fonts could not be inspected.
Sheet {
    id: dialog
    required property var fontList

    title: "Missing fonts"
    parent: Overlay.overlay
    z: 10
    preferredWidth: 720
    height: Math.min(640, parent ? parent.height - 60 : 640)

    ColumnLayout {
        anchors.fill: parent
        spacing: 14
        RowLayout {
            spacing: 12
            Layout.fillWidth: true
            Symbol { name: "text-format"; size: 34; color: VellixTheme.warning }
            ColumnLayout {
                spacing: 2
                Layout.fillWidth: true
                ReadableText { text: dialog.title; font.pixelSize: 22; font.weight: Font.Bold }
                ReadableText {
                    text: "Grouped by font name across the drawings."
                    color: VellixTheme.secondaryText
                }
            }
            Label {
                text: dialog.fontList.badge
                color: VellixTheme.accent
                font.pixelSize: 11
                font.weight: Font.DemiBold
                padding: 6
                leftPadding: 10
                rightPadding: 10
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                background: Rectangle {
                    radius: height / 2
                    color: "transparent"
                    border.color: VellixTheme.accent
                }
            }
        }

        // Rows are made only for the fonts on screen: an archive can miss hundreds.
        ListView {
            id: groups
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: 10
            boundsBehavior: Flickable.StopAtBounds
            model: dialog.fontList
            Accessible.role: Accessible.List
            Accessible.name: "Missing fonts by name"
            ScrollBar.vertical: ScrollBar {}
            delegate: MissingFontGroupRow {
                fontList: dialog.fontList
                width: ListView.view.width
            }
            header: ColumnLayout {
                width: ListView.view.width
                visible: dialog.fontList.isEmpty
                height: visible ? implicitHeight : 0
                spacing: 8
                Symbol {
                    name: "checkmark-circle"
                    size: 40
                    color: VellixTheme.success
                    Layout.alignment: Qt.AlignHCenter
                    Layout.topMargin: 40
                }
                ReadableText {
                    text: "No missing fonts found in these drawings."
                    Layout.alignment: Qt.AlignHCenter
                }
            }
            footer: ColumnLayout {
                width: ListView.view.width
                visible: dialog.fontList.inspectionIssues.length > 0
                height: visible ? implicitHeight : 0
                spacing: 6
                ReadableText {
                    text: "Could not inspect fonts"
                    font.pixelSize: 16
                    font.weight: Font.DemiBold
                    Layout.topMargin: 14
                }
                Repeater {
                    model: dialog.fontList.inspectionIssues
                    RowLayout {
                        required property var modelData
                        spacing: 8
                        Layout.fillWidth: true
                        Symbol { name: "warning-triangle"; size: 16; color: VellixTheme.warning }
                        ReadableText {
                            text: modelData.displayName + " could not inspect: " + modelData.message
                            Layout.fillWidth: true
                        }
                    }
                }
            }
        }
        ActionButton {
            text: "Done"
            prominent: true
            Layout.alignment: Qt.AlignRight
            onClicked: dialog.close()
        }
    }
}
