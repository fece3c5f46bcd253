import QtQuick
import QtQuick.Layouts

// The window's content in its own 1180 × 900 frame: the hero panel and the three steps.
Item {
    id: content
    required property var viewModel
    required property var windowState

    width: 1180
    height: 900

    BlueprintBackground { anchors.fill: parent }

    RowLayout {
        anchors.fill: parent
        anchors.margins: 24
        spacing: 24
        HeroPanel {
            viewModel: content.viewModel
            windowState: content.windowState
            Layout.preferredWidth: 350
            Layout.fillHeight: true
        }
        ColumnLayout {
            spacing: 14
            Layout.fillWidth: true
            Layout.fillHeight: true
            ReadableText {
                text: "Version " + content.windowState.versionString
                color: VellixTheme.mutedText
                font.pixelSize: 12
                Layout.alignment: Qt.AlignRight
            }
            ChooseDrawingsStep {
                viewModel: content.viewModel
                windowState: content.windowState
                Layout.fillWidth: true
            }
            DestinationStep {
                viewModel: content.viewModel
                windowState: content.windowState
                Layout.fillWidth: true
            }
            RunStep {
                viewModel: content.viewModel
                windowState: content.windowState
                Layout.fillWidth: true
            }
            Item { Layout.fillHeight: true }
        }
    }
}
