import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The drawings found, each kept or left out of the run, and the analysis while it runs.
Sheet {
    id: review
    required property var viewModel
    required property var candidates

    title: "Review selection"
    preferredWidth: 640
    height: 560

    ColumnLayout {
        anchors.fill: parent
        spacing: 12
        ReadableText {
            text: review.title
            font.pixelSize: 22
            font.weight: Font.Bold
        }
        RowLayout {
            visible: review.viewModel.isLoadingSelectionPreview
            spacing: 12
            Layout.fillWidth: true
            ColumnLayout {
                Layout.fillWidth: true
                ReadableText { text: review.viewModel.selectionPreviewMessage; Layout.fillWidth: true }
                ProgressBar {
                    value: review.viewModel.selectionPreviewProgress
                    Layout.fillWidth: true
                    Accessible.name: "Analysis progress"
                    Accessible.description: Math.floor(value * 100) + "%"
                }
                ReadableText {
                    readonly property int percent: Math.floor(review.viewModel.selectionPreviewProgress * 100)
                    text: review.viewModel.selectionPreviewEstimate !== ""
                          ? percent + "% · " + review.viewModel.selectionPreviewEstimate : percent + "%"
                    color: VellixTheme.secondaryText
                    font.pixelSize: 12
                }
            }
            CancelProgressButton {
                isCancelling: review.viewModel.isCancellingSelectionPreview
                help: "Stop analyzing the remaining drawings."
                onClicked: review.viewModel.cancelSelectionPreview()
            }
        }
        ListView {
            id: list
            clip: true
            model: review.candidates
            Layout.fillWidth: true
            Layout.fillHeight: true
            Accessible.role: Accessible.List
            Accessible.name: "Drawings"
            ScrollBar.vertical: ScrollBar {}
            delegate: CheckDelegate {
                id: row
                required property int index
                required property string displayPath
                required property bool isSelected
                width: ListView.view.width
                text: displayPath
                checked: isSelected
                onToggled: review.candidates.setSelected(index, checked)
                Accessible.name: displayPath
                Accessible.onToggleAction: review.candidates.setSelected(index, !isSelected)
                Accessible.onPressAction: review.candidates.setSelected(index, !isSelected)
                contentItem: Text {
                    text: row.text
                    color: VellixTheme.text
                    elide: Text.ElideMiddle
                    rightPadding: row.indicator.width + row.spacing
                    verticalAlignment: Text.AlignVCenter
                }
            }
        }
        ActionButton {
            text: "Done"
            prominent: true
            Layout.alignment: Qt.AlignRight
            onClicked: review.close()
        }
    }
}
