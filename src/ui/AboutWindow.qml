import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The About window: what Keelwick is, where its pages are, and the timeline.
ApplicationWindow {
    id: about
    required property var windowState
    required property var platform
    required property var links
    signal timelineRequested()

    title: "About Keelwick"
    width: 520
    height: column.implicitHeight + 56
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height
    color: VellixTheme.background

    Shortcut { sequence: StandardKey.Cancel; onActivated: about.close() }

    ColumnLayout {
        id: column
        anchors.fill: parent
        anchors.margins: 28
        spacing: 14
        AppMark { Layout.alignment: Qt.AlignHCenter }
        ReadableText {
            text: "Version " + about.windowState.versionString
            color: VellixTheme.mutedText
            font.pixelSize: 12
            Layout.alignment: Qt.AlignHCenter
        }
        ReadableText {
            text: "Old drawings should not disappear because an app stopped working."
            font.pixelSize: 16
            font.weight: Font.DemiBold
            horizontalAlignment: Text.AlignHCenter
            Layout.fillWidth: true
        }
        ReadableText {
            text: "Rescue legacy Graphic/iDraw documents into open SVG files, locally on your computer. No uploads. No accounts. No lock-in."
            color: VellixTheme.secondaryText
            horizontalAlignment: Text.AlignHCenter
            Layout.fillWidth: true
        }
        AboutActionRow {
            text: "Show the Graphic / iDraw timeline"
            subtitle: "From iDraw’s first release to the Intel app deadline."
            symbol: "timeline"
            Layout.fillWidth: true
            onClicked: about.timelineRequested()
        }
        AboutActionRow {
            text: "Why Intel Mac apps are running out of time"
            subtitle: "Background on the coming end of Intel-only app support."
            symbol: "info"
            isLink: true
            Layout.fillWidth: true
            onClicked: about.platform.openLink(about.links.intelSupportPage)
        }
        AboutActionRow {
            text: "Privacy: nothing leaves your computer"
            subtitle: "No tracking, no network connection, no data collected."
            symbol: "shield"
            isLink: true
            Layout.fillWidth: true
            onClicked: about.platform.openLink(about.links.privacyPage)
        }
        AboutActionRow {
            text: "Keelwick"
            subtitle: "Open files for old drawings."
            symbol: "external-link"
            isLink: true
            Layout.fillWidth: true
            onClicked: about.platform.openLink(about.links.homePage)
        }
        ActionButton {
            text: "Close"
            Layout.alignment: Qt.AlignRight
            onClicked: about.close()
        }
    }
}
