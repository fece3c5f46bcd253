import QtQuick
import QtQuick.Controls
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
    CheckBox {
        id: overwrite
        text: "Overwrite destination files"
        checked: stepTwo.windowState.overwritesDestinationFiles
        onToggled: stepTwo.windowState.overwritesDestinationFiles = checked
        Accessible.name: text
        Accessible.onToggleAction: toggle()
        Accessible.onPressAction: { toggle(); toggled() }
        indicator: Rectangle {
            x: overwrite.leftPadding
            anchors.verticalCenter: parent.verticalCenter
            width: 18
            height: 18
            radius: 4
            color: overwrite.checked ? VellixTheme.accent : VellixTheme.background
            border.color: overwrite.visualFocus ? VellixTheme.text : VellixTheme.border
            border.width: overwrite.visualFocus ? 2 : 1
            Symbol {
                anchors.centerIn: parent
                visible: overwrite.checked
                name: "checkmark"
                color: "#ffffff"
                size: 14
            }
        }
        contentItem: Text {
            text: overwrite.text
            color: VellixTheme.secondaryText
            font.pixelSize: 13
            leftPadding: overwrite.indicator.width + overwrite.spacing
            verticalAlignment: Text.AlignVCenter
        }
    }
}
