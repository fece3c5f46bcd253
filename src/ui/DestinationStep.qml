import QtQuick
import QtQuick.Layouts

// Step 2: where the run writes.
StepCard {
    id: stepTwo
    required property var viewModel
    required property var windowState

    number: 2
    title: "Choose preview image destination"
    isComplete: viewModel.outputFolderWasChosen
    isEnabled: windowState.choosingIsEnabled

    RowLayout {
        spacing: 12
        Layout.fillWidth: true
        ColumnLayout {
            spacing: 2
            Layout.fillWidth: true
            ReadableText {
                text: stepTwo.windowState.destinationCaption
                color: VellixTheme.secondaryText
                font.pixelSize: 12
            }
            ReadableText {
                text: stepTwo.windowState.destinationLine
                color: stepTwo.viewModel.outputFolderWasChosen ? VellixTheme.text : VellixTheme.mutedText
                elide: Text.ElideMiddle
                wrapMode: Text.NoWrap
                Layout.fillWidth: true
            }
        }
        ActionButton {
            text: stepTwo.windowState.destinationButton
            symbol: "folder-plus"
            onClicked: stepTwo.viewModel.chooseOutputFolder()
        }
    }
    // The run's options, remembered between launches.
    GridLayout {
        columns: 2
        columnSpacing: 24
        rowSpacing: 6
        OptionCheckBox {
            text: "Overwrite destination files"
            checked: stepTwo.windowState.overwritesDestinationFiles
            onToggled: stepTwo.windowState.overwritesDestinationFiles = checked
        }
        OptionCheckBox {
            text: "Store embedded images in original format"
            checked: stepTwo.windowState.storesOriginalImages
            onToggled: stepTwo.windowState.storesOriginalImages = checked
        }
        OptionCheckBox {
            text: "Write notes about missing fonts"
            checked: stepTwo.windowState.writesMissingFontNotes
            onToggled: stepTwo.windowState.writesMissingFontNotes = checked
        }
        OptionCheckBox {
            text: "Save PNG preview images"
            checked: stepTwo.windowState.savesPreviewImages
            onToggled: stepTwo.windowState.savesPreviewImages = checked
        }
    }
}
