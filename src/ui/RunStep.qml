import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Keelwick

// Step 3: the check run, from ready through running to its end.
StepCard {
    id: stepThree
    required property var viewModel
    required property var windowState
    readonly property int phase: windowState.runPhase

    number: 3
    title: "Check My Drawings"
    subtitle: "See what a rescue would produce. PNG preview images will be saved."
    isEnabled: windowState.stepThreeIsEnabled
    isComplete: windowState.stepThreeIsComplete
    isDimmed: false

    // Ready, finished or cancelled: what a new run would take, and its start button.
    RowLayout {
        visible: stepThree.phase !== WindowState.Running
        spacing: 16
        Layout.fillWidth: true
        StatBlock {
            value: stepThree.windowState.selectedCount
            label: stepThree.windowState.readyLabel
        }
        Item { Layout.fillWidth: true }
        ActionButton {
            text: "Start Dry Run"
            enabled: stepThree.viewModel.canRescue
            helpText: "Check every drawing and save PNG preview images; no SVG files are written."
            onClicked: stepThree.viewModel.rescue()
        }
        ActionButton {
            text: "Rescue as SVG"
            prominent: true
            enabled: stepThree.viewModel.canRescue
            helpText: "Write each drawing as an SVG file into the destination."
            onClicked: stepThree.viewModel.rescueAsSVG()
        }
    }
    ReadableText {
        visible: stepThree.phase === WindowState.Cancelled
        text: stepThree.windowState.cancelledText
        color: VellixTheme.secondaryText
        Layout.fillWidth: true
    }
    // The model's last word (ready, saved, or why a run could not start) outside a run, and
    // after a run what it left.
    RowLayout {
        visible: stepThree.phase !== WindowState.Running && stepThree.viewModel.outputFolderWasChosen
        spacing: 10
        Layout.fillWidth: true
        ReadableText {
            text: stepThree.viewModel.currentMessage
            color: VellixTheme.secondaryText
            font.pixelSize: 13
            Layout.fillWidth: true
        }
        ActionButton {
            visible: stepThree.phase === WindowState.Finished
            text: "Reveal In File Manager"
            symbol: "folder"
            onClicked: stepThree.viewModel.revealOutput()
        }
        ActionButton {
            visible: stepThree.phase === WindowState.Finished
            text: stepThree.windowState.viewReportLabel
            onClicked: stepThree.windowState.showsRescueReport = true
        }
    }
    ReadableText {
        visible: !stepThree.viewModel.outputFolderWasChosen
        text: "Choose a destination in Step 2 before rescuing."
        color: VellixTheme.mutedText
        font.pixelSize: 13
        Layout.fillWidth: true
    }
    // Running.
    RowLayout {
        visible: stepThree.phase === WindowState.Running
        spacing: 14
        Layout.fillWidth: true
        ColumnLayout {
            spacing: 6
            Layout.fillWidth: true
            ReadableText {
                text: stepThree.viewModel.currentMessage
                elide: Text.ElideMiddle
                wrapMode: Text.NoWrap
                Layout.fillWidth: true
            }
            ProgressBar {
                id: bar
                value: stepThree.viewModel.progress
                Layout.fillWidth: true
                Accessible.name: "Progress"
                Accessible.description: Math.floor(value * 100) + "%"
                background: Rectangle {
                    implicitHeight: 8
                    radius: 4
                    color: VellixTheme.raisedPanel
                }
                contentItem: Item {
                    implicitHeight: 8
                    Rectangle {
                        width: bar.visualPosition * parent.width
                        height: parent.height
                        radius: 4
                        color: VellixTheme.accent
                    }
                }
            }
            ReadableText {
                visible: text !== ""
                text: stepThree.viewModel.rescueEstimate
                color: VellixTheme.secondaryText
                font.pixelSize: 12
            }
        }
        CancelProgressButton {
            isCancelling: stepThree.viewModel.isCancellingRescue
            help: "Cancel the rescue after the current drawing."
            onClicked: stepThree.viewModel.cancelRescue()
        }
    }
}
