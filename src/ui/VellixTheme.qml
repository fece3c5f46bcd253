pragma Singleton
import QtQuick

// The window's colours, all sRGB at full opacity.
QtObject {
    readonly property color background: Qt.rgba(0.015, 0.065, 0.12, 1)
    readonly property color panel: Qt.rgba(0.065, 0.13, 0.2, 1)
    readonly property color raisedPanel: Qt.rgba(0.13, 0.2, 0.28, 1)
    readonly property color accent: Qt.rgba(0.0, 0.68, 0.98, 1)
    readonly property color text: Qt.rgba(0.94, 0.96, 1.0, 1)
    readonly property color secondaryText: Qt.rgba(0.65, 0.74, 0.85, 1)
    readonly property color mutedText: Qt.rgba(0.46, 0.56, 0.68, 1)
    readonly property color border: Qt.rgba(0.16, 0.28, 0.38, 1)
    // The card gradient runs from the top-leading to the bottom-trailing corner.
    readonly property color cardGradientStart: Qt.rgba(0.075, 0.145, 0.22, 1)
    readonly property color cardGradientEnd: panel
    // Not theme colours of their own: the warning and success marks of notices and rows.
    readonly property color warning: "#ffb340"
    readonly property color success: "#32d583"
}
