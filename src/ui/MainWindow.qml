import QtQuick
import QtQuick.Controls
import QtQuick.Window

// The program's main window: the menu, the content scaled to the screen, and its sheets.
ApplicationWindow {
    id: window
    required property var viewModel
    required property var windowState
    required property var platform
    required property var reviewTree
    required property var reviewSummary
    required property var fontList
    required property var report
    required property var history
    required property var links
    // The content shrinks on screens smaller than its frame, never below three quarters.
    readonly property real contentScale: windowState.fittedScale(
        screen.desktopAvailableWidth, screen.desktopAvailableHeight - menuBar.implicitHeight - titleBarAllowance)
    // Room for the window manager's title bar, which the available area still includes.
    readonly property real titleBarAllowance: 40

    title: "Keelwick"
    visible: true
    color: VellixTheme.background
    width: Math.round(1180 * contentScale)
    height: Math.round(900 * contentScale) + menuBar.implicitHeight
    minimumWidth: width
    minimumHeight: height
    maximumWidth: width
    maximumHeight: height

    menuBar: MenuBar {
        Menu {
            title: "Keelwick"
            Action {
                text: "About Keelwick"
                onTriggered: window.showAbout()
            }
            MenuSeparator {}
            Action {
                text: "Quit Keelwick"
                shortcut: StandardKey.Quit
                onTriggered: Qt.quit()
            }
        }
    }

    ContentView {
        viewModel: window.viewModel
        windowState: window.windowState
        scale: window.contentScale
        transformOrigin: Item.TopLeft
    }

    PanelDialogs { platform: window.platform }

    ReviewSelectionSheet {
        viewModel: window.viewModel
        tree: window.reviewTree
        summary: window.reviewSummary
        fontList: window.fontList
        visible: window.viewModel.showsSelectionPreview
        onClosed: window.viewModel.showsSelectionPreview = false
        onMissingFontDetailsRequested: missingFonts.open()
    }
    RescueReportSheet {
        viewModel: window.viewModel
        windowState: window.windowState
        report: window.report
        fontList: window.fontList
        visible: window.windowState.showsRescueReport
        onClosed: window.windowState.showsRescueReport = false
        onMissingFontDetailsRequested: missingFonts.open()
    }
    MissingFontDetailsDialog {
        id: missingFonts
        fontList: window.fontList
    }
    GraphicHistoryDialog {
        id: launchTimeline
        history: window.history
        dismissTitle: "Start rescuing"
        visible: window.windowState.showsLaunchTimeline
        onClosed: window.windowState.showsLaunchTimeline = false
    }
    GraphicHistoryDialog {
        id: aboutTimeline
        history: window.history
    }

    // One About window: asking again brings it forward.
    property AboutWindow about: null
    function showAbout() {
        if (!about) {
            about = aboutComponent.createObject(window)
        }
        about.show()
        about.raise()
        about.requestActivate()
    }
    Component {
        id: aboutComponent
        AboutWindow {
            windowState: window.windowState
            platform: window.platform
            links: window.links
            onTimelineRequested: aboutTimeline.open()
        }
    }

    Component.onCompleted: windowState.windowAppeared()
}
