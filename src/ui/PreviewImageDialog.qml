import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The picture a drawing stores inside itself, read from the drawing again and scaled to fit,
// with a word on how far the rescue may differ from it.
Sheet {
    id: dialog
    // The drawing (a map of name, path, hasStoredPicture and missingFonts), or null.
    property var candidate: null
    property bool showsMissingFonts: false
    readonly property var missingFonts: candidate ? candidate.missingFonts : []

    title: "Original drawing"
    parent: Overlay.overlay
    z: 10
    preferredWidth: 760
    height: 620
    onAboutToShow: showsMissingFonts = false

    ColumnLayout {
        anchors.fill: parent
        spacing: 12
        ReadableText { text: dialog.title; font.pixelSize: 20; font.weight: Font.Bold }

        Rectangle {
            Layout.fillWidth: true
            Layout.fillHeight: true
            radius: 10
            color: VellixTheme.background
            border.color: VellixTheme.border

            Image {
                id: picture
                anchors.fill: parent
                anchors.margins: 8
                asynchronous: true
                cache: false
                fillMode: Image.PreserveAspectFit
                sourceSize: Qt.size(1400, 1400)
                source: dialog.visible && dialog.candidate && dialog.candidate.hasStoredPicture
                        ? "image://storedpicture/" + encodeURIComponent(dialog.candidate.path) : ""
                visible: status === Image.Ready
                Accessible.role: Accessible.Graphic
                Accessible.name: dialog.candidate ? "Stored picture of " + dialog.candidate.name : ""
            }
            BusyIndicator {
                anchors.centerIn: parent
                running: picture.status === Image.Loading
                visible: running
            }
            Column {
                visible: picture.status === Image.Null || picture.status === Image.Error
                anchors.centerIn: parent
                width: parent.width - 80
                spacing: 8
                readonly property bool hasPicture: dialog.candidate !== null && dialog.candidate.hasStoredPicture
                Symbol {
                    name: "photo"
                    size: 44
                    color: VellixTheme.mutedText
                    anchors.horizontalCenter: parent.horizontalCenter
                }
                ReadableText {
                    text: parent.hasPicture ? "The stored picture cannot be shown" : "No stored picture"
                    font.weight: Font.DemiBold
                    horizontalAlignment: Text.AlignHCenter
                    width: parent.width
                }
                ReadableText {
                    text: parent.hasPicture
                          ? "Its data is damaged or is no JPEG picture. The drawing can still be rescued."
                          : "Graphic/iDraw did not save a picture inside this file. It can still be rescued."
                    color: VellixTheme.secondaryText
                    horizontalAlignment: Text.AlignHCenter
                    width: parent.width
                }
            }
        }

        RowLayout {
            spacing: 10
            Layout.fillWidth: true
            ReadableText {
                text: dialog.missingFonts.length === 0
                      ? "Stored Graphic / iDraw preview, result may differ"
                      : "Stored Graphic / iDraw preview, result will differ because of missing fonts."
                color: VellixTheme.secondaryText
                font.pixelSize: 12
                Layout.fillWidth: true
            }
            ActionButton {
                visible: dialog.missingFonts.length > 0
                text: dialog.showsMissingFonts ? "Hide missing fonts" : "Show missing fonts"
                symbol: "text-format"
                onClicked: dialog.showsMissingFonts = !dialog.showsMissingFonts
            }
        }
        ColumnLayout {
            visible: dialog.showsMissingFonts && dialog.missingFonts.length > 0
            spacing: 4
            ReadableText {
                text: "Fonts that are not installed"
                font.weight: Font.DemiBold
            }
            Repeater {
                model: dialog.missingFonts
                ReadableText {
                    required property string modelData
                    text: modelData
                    color: VellixTheme.warning
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
