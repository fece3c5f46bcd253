import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The review of the drawings found: the analysis while it runs, then the summary tiles, the
// filters and the folder tree in which each drawing is kept or left out of the run.
Sheet {
    id: review
    required property var viewModel
    required property var tree
    required property var summary
    required property var fontList
    // The drawing whose stored picture is shown (a map from tree.drawing), or null.
    property var previewCandidate: null

    signal missingFontDetailsRequested()

    title: "Review drawings"
    preferredWidth: 940
    height: Math.min(820, parent ? parent.height - 40 : 820)

    function showPreview(row) {
        const drawing = review.tree.drawing(row)
        if (drawing.path !== undefined) {
            review.previewCandidate = drawing
        }
    }

    onOpened: list.forceActiveFocus()

    ColumnLayout {
        anchors.fill: parent
        spacing: 12

        RowLayout {
            spacing: 14
            Symbol { name: "photo-stack"; size: 36; color: VellixTheme.accent }
            ColumnLayout {
                spacing: 2
                ReadableText { text: review.title; font.pixelSize: 24; font.weight: Font.Bold }
                ReadableText {
                    text: "Review all Graphic/iDraw files found before rescuing them as SVG."
                    color: VellixTheme.secondaryText
                }
            }
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

        RowLayout {
            spacing: 10
            Layout.fillWidth: true
            ReportStatTile {
                value: review.summary.selectedCount
                label: review.summary.selectedLabel
                symbol: "documents"
                Layout.fillWidth: true
                Layout.preferredWidth: 1
            }
            ReportStatTile {
                value: review.summary.embeddedImageCount
                label: review.summary.embeddedImageLabel
                symbol: "photo"
                tint: "#4fd1c5"
                Layout.fillWidth: true
                Layout.preferredWidth: 1
            }
            ReportStatTile {
                value: review.summary.missingFontCount
                label: "fonts that are not installed"
                symbol: "text-format"
                tint: VellixTheme.warning
                leadsOn: true
                help: "Show missing font details grouped by font name."
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                onClicked: {
                    review.fontList.showSelectedDrawings()
                    review.missingFontDetailsRequested()
                }
            }
            ReportStatTile {
                value: review.summary.inspectionIssueCount
                label: "need attention"
                symbol: "warning-triangle"
                tint: "#ff6b6b"
                Layout.fillWidth: true
                Layout.preferredWidth: 1
            }
        }

        Row {
            spacing: 8
            Repeater {
                model: review.tree.filters
                DrawingReviewFilterPill {
                    required property var modelData
                    required property int index
                    title: modelData.title
                    symbol: modelData.symbol
                    help: modelData.help
                    isSelected: review.tree.filter === index
                    onClicked: review.tree.filter = index
                }
            }
        }

        RowLayout {
            spacing: 8
            Layout.fillWidth: true
            ReadableText {
                text: "Files found"
                font.pixelSize: 16
                font.weight: Font.DemiBold
                Layout.fillWidth: true
            }
            ActionButton {
                text: review.tree.selectShownTitle
                enabled: review.tree.bulkSelectionIsEnabled
                onClicked: review.tree.setShownSelected(true)
            }
            ActionButton {
                text: review.tree.deselectShownTitle
                enabled: review.tree.bulkSelectionIsEnabled
                onClicked: review.tree.setShownSelected(false)
            }
        }

        Rectangle {
            Layout.fillWidth: true
            Layout.fillHeight: true
            radius: 12
            color: VellixTheme.background
            border.color: VellixTheme.border

            ListView {
                id: list
                anchors.fill: parent
                anchors.margins: 6
                clip: true
                model: review.tree
                boundsBehavior: Flickable.StopAtBounds
                keyNavigationEnabled: true
                focus: true
                Accessible.role: Accessible.Tree
                Accessible.name: "Files found"
                ScrollBar.vertical: ScrollBar {}
                delegate: PreviewTreeRow {
                    tree: review.tree
                    onShowPreview: (row) => review.showPreview(row)
                }
                // Space toggles the current row's checkbox; Left and Right close and open
                // a folder, Enter shows a drawing's picture.
                Keys.onSpacePressed: review.tree.toggle(currentIndex)
                Keys.onLeftPressed: review.tree.setExpanded(currentIndex, false)
                Keys.onRightPressed: review.tree.setExpanded(currentIndex, true)
                Keys.onReturnPressed: review.showPreview(currentIndex)
            }

            Column {
                visible: list.count === 0 && !review.viewModel.isLoadingSelectionPreview
                anchors.centerIn: parent
                spacing: 10
                Symbol {
                    name: review.tree.emptySymbol
                    size: 34
                    color: VellixTheme.mutedText
                    anchors.horizontalCenter: parent.horizontalCenter
                }
                ReadableText {
                    text: review.tree.emptyText
                    color: VellixTheme.secondaryText
                    anchors.horizontalCenter: parent.horizontalCenter
                }
            }
        }

        RowLayout {
            spacing: 12
            Layout.fillWidth: true
            ReadableText {
                text: review.summary.footerMessage
                color: VellixTheme.secondaryText
                font.pixelSize: 12
                Layout.fillWidth: true
            }
            ActionButton {
                text: "Done"
                prominent: true
                enabled: review.summary.doneIsEnabled
                onClicked: review.close()
            }
        }
    }

    PreviewImageDialog {
        candidate: review.previewCandidate
        visible: review.previewCandidate !== null
        onClosed: review.previewCandidate = null
    }
}
