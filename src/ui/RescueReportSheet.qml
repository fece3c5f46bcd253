import QtQuick
import QtQuick.Layouts

// The end of a run: what can be rescued and what needs attention.
Sheet {
    id: report
    required property var viewModel
    required property var windowState

    title: windowState.reportTitle
    preferredWidth: 560

    ColumnLayout {
        anchors.fill: parent
        spacing: 18
        ColumnLayout {
            spacing: 4
            Symbol { name: "checkmark-circle"; color: VellixTheme.accent; size: 44 }
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
        RowLayout {
            spacing: 36
            StatBlock {
                value: report.viewModel.rescuedCount
                label: report.windowState.canBeRescuedLabel
            }
            StatBlock {
                value: report.viewModel.failedCount
                label: "need attention"
                color: VellixTheme.warning
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
}
