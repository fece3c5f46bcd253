import QtQuick
import QtQuick.Layouts

// The left column: the promise, the all-time counter and three features.
Card {
    id: hero
    required property var viewModel
    required property var windowState

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 28
        spacing: 22
        AppMark {}
        ReadableText {
            text: "Your designs\ndeserve a\nfuture."
            font.pixelSize: 44
            font.weight: Font.Bold
            lineHeight: 1.05
            Layout.fillWidth: true
            Layout.topMargin: 18
        }
        ReadableText {
            text: "Made for people with years of work trapped in legacy design files."
            color: VellixTheme.secondaryText
            font.pixelSize: 16
            Layout.fillWidth: true
        }
        StatBlock {
            value: hero.viewModel.totalRescuedCount
            label: hero.windowState.allTimeLabel
        }
        Item { Layout.fillHeight: true }
        FeaturePill {
            icon: "lock"
            text: "No uploads. No accounts. No lock-in."
            Layout.fillWidth: true
        }
        FeaturePill {
            icon: "folder"
            text: "Folders are welcome.\nWhole archives too."
            Layout.fillWidth: true
        }
        FeaturePill {
            icon: "text-format"
            text: "Keeps text editable and helps managing fonts."
            Layout.fillWidth: true
        }
    }
}
