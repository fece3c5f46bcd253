import QtQuick
import QtQuick.Layouts

// Step 1: the drawings, from panels or a drop.
StepCard {
    id: stepOne
    required property var viewModel
    required property var windowState

    number: 1
    title: "Choose file(s) or one folder"
    subtitle: "Select Graphic/iDraw drawings, or choose one folder to scan."
    isComplete: windowState.stepOneIsComplete
    isEnabled: windowState.choosingIsEnabled

    RowLayout {
        spacing: 10
        ActionButton {
            text: "Choose File(s)"
            symbol: "document-upload"
            onClicked: stepOne.viewModel.chooseDrawings()
        }
        ActionButton {
            text: "Choose Folder"
            symbol: "folder"
            onClicked: stepOne.viewModel.chooseFolder()
        }
    }
    DropZone {
        viewModel: stepOne.viewModel
        Layout.fillWidth: true
    }
    RowLayout {
        spacing: 8
        Layout.fillWidth: true
        Symbol {
            name: stepOne.windowState.stepOneIsComplete ? "checkmark-circle" : "tray"
            color: stepOne.windowState.stepOneIsComplete ? VellixTheme.success : VellixTheme.mutedText
        }
        ReadableText {
            text: stepOne.windowState.selectionStatus
            color: stepOne.windowState.stepOneIsComplete ? VellixTheme.text : VellixTheme.mutedText
            Layout.fillWidth: true
        }
        ActionButton {
            visible: stepOne.windowState.stepOneIsComplete
            text: "Review selection"
            onClicked: stepOne.viewModel.showsSelectionPreview = true
        }
        ActionButton {
            visible: stepOne.windowState.stepOneIsComplete
            text: "Clear"
            onClicked: stepOne.viewModel.clearSelection()
        }
    }
    RowLayout {
        visible: stepOne.viewModel.selectionNotice !== ""
        spacing: 8
        Layout.fillWidth: true
        Symbol { name: "warning-triangle"; color: VellixTheme.warning; Layout.alignment: Qt.AlignTop }
        ReadableText {
            text: stepOne.viewModel.selectionNotice
            color: VellixTheme.warning
            font.pixelSize: 13
            Layout.fillWidth: true
        }
    }
}
