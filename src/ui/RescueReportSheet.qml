import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The end of a run: what can be rescued and what needs attention, one row per drawing, and
// the way on to the missing fonts.
Sheet {
    id: report
    required property var viewModel
    required property var windowState
    required property var report
    required property var fontList

    signal missingFontDetailsRequested()

    title: windowState.reportTitle
    preferredWidth: 820
    height: Math.min(720, parent ? parent.height - 40 : 720)

    onAboutToShow: celebration.active = report.report.celebrates()
    onClosed: celebration.active = false

    ColumnLayout {
        anchors.fill: parent
        spacing: 16
        RowLayout {
            spacing: 16
            Symbol { name: "sparkles"; color: VellixTheme.accent; size: 58 }
            ColumnLayout {
                spacing: 2
                ReadableText {
                    text: report.windowState.reportCaption
                    color: VellixTheme.accent
                    font.pixelSize: 13
                    font.weight: Font.DemiBold
                }
                ReadableText {
                    text: report.title
                    font.pixelSize: 26
                    font.weight: Font.Bold
                }
            }
        }
        RowLayout {
            spacing: 10
            Layout.fillWidth: true
            ReportStatTile {
                value: report.viewModel.rescuedCount
                label: report.windowState.canBeRescuedLabel
                symbol: "checkmark"
                tint: VellixTheme.success
                Layout.fillWidth: true
                Layout.preferredWidth: 1
            }
            ReportStatTile {
                value: report.report.imagesValue
                label: report.report.imagesLabel
                symbol: "photo"
                tint: report.report.imagesWereStored ? "#4fd1c5" : VellixTheme.mutedText
                help: report.report.imagesHelp
                Layout.fillWidth: true
                Layout.preferredWidth: 1
            }
            ReportStatTile {
                value: report.viewModel.failedCount
                label: "need attention"
                symbol: "warning-triangle"
                tint: VellixTheme.warning
                Layout.fillWidth: true
                Layout.preferredWidth: 1
            }
            ReportStatTile {
                value: report.report.missingFontCount
                label: "fonts that are not installed"
                symbol: "text-format"
                tint: VellixTheme.accent
                leadsOn: true
                help: "Show missing font details grouped by font name."
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                onClicked: {
                    report.fontList.showResults()
                    report.missingFontDetailsRequested()
                }
            }
        }
        Rectangle {
            Layout.fillWidth: true
            Layout.fillHeight: true
            radius: 12
            color: VellixTheme.background
            border.color: VellixTheme.border
            ListView {
                id: entries
                anchors.fill: parent
                anchors.margins: 6
                clip: true
                spacing: 2
                model: report.report
                boundsBehavior: Flickable.StopAtBounds
                Accessible.role: Accessible.List
                Accessible.name: "Drawings of this run"
                ScrollBar.vertical: ScrollBar {}
                delegate: RowLayout {
                    required property string title
                    required property string detail
                    required property bool isRescued
                    width: ListView.view.width
                    spacing: 10
                    Symbol {
                        name: isRescued ? "checkmark-circle" : "warning-triangle"
                        color: isRescued ? VellixTheme.success : VellixTheme.warning
                        size: 18
                        Layout.alignment: Qt.AlignTop
                        Layout.topMargin: 8
                        Layout.leftMargin: 6
                    }
                    ColumnLayout {
                        spacing: 1
                        Layout.fillWidth: true
                        Layout.topMargin: 6
                        Layout.bottomMargin: 6
                        ReadableText { text: title; font.weight: Font.DemiBold; Layout.fillWidth: true }
                        ReadableText {
                            text: detail
                            color: VellixTheme.secondaryText
                            font.pixelSize: 12
                            Layout.fillWidth: true
                        }
                    }
                }
            }
        }
        RowLayout {
            spacing: 10
            Layout.alignment: Qt.AlignRight
            ActionButton {
                text: "Reveal In File Manager"
                symbol: "folder"
                onClicked: report.viewModel.revealOutput()
            }
            ActionButton {
                text: "Done"
                prominent: true
                focus: true
                onClicked: report.close()
            }
        }
    }

    // Over the whole window, not only the sheet, while it is up.
    Loader {
        id: celebration
        active: false
        parent: report.Overlay.overlay
        anchors.fill: parent
        z: 20
        sourceComponent: ConfettiOverlay {
            objectName: "celebration"
            onHasFinishedChanged: if (hasFinished) celebration.active = false
        }
    }
}
