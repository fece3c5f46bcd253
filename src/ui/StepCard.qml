import QtQuick
import QtQuick.Layouts

// One numbered step: its header, then its content. A step that is not enabled is dimmed
// and ignores input.
Card {
    id: step
    property int number
    property string title
    property string subtitle
    property bool isEnabled: true
    property bool isComplete: false
    property bool isDimmed: !isEnabled
    default property alias content: body.data

    implicitHeight: column.implicitHeight + 36
    opacity: isDimmed ? 0.5 : 1
    enabled: isEnabled
    Accessible.role: Accessible.Grouping
    Accessible.name: "Step " + number + ": " + title

    ColumnLayout {
        id: column
        anchors.fill: parent
        anchors.margins: 18
        spacing: 14
        RowLayout {
            spacing: 12
            StepBadge { number: step.number; isComplete: step.isComplete }
            ColumnLayout {
                spacing: 2
                Layout.fillWidth: true
                ReadableText {
                    text: "Step " + step.number
                    color: VellixTheme.accent
                    font.pixelSize: 12
                    font.weight: Font.DemiBold
                    font.capitalization: Font.AllUppercase
                }
                ReadableText {
                    text: step.title
                    font.pixelSize: 18
                    font.weight: Font.DemiBold
                    Layout.fillWidth: true
                }
                ReadableText {
                    visible: step.subtitle !== ""
                    text: step.subtitle
                    color: VellixTheme.secondaryText
                    font.pixelSize: 13
                    Layout.fillWidth: true
                }
            }
            Row {
                visible: step.isComplete
                spacing: 5
                Layout.alignment: Qt.AlignTop
                Symbol { name: "checkmark"; color: VellixTheme.success; size: 14; anchors.verticalCenter: parent.verticalCenter }
                ReadableText { text: "Ready"; color: VellixTheme.success; font.pixelSize: 13 }
            }
        }
        ColumnLayout {
            id: body
            spacing: 12
            Layout.fillWidth: true
            Layout.fillHeight: true
        }
    }
}
