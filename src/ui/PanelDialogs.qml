import QtQuick
import QtQuick.Dialogs

// The open panels the model asks for, shown with the desktop's own dialogs where it has them.
Item {
    id: panels
    required property var platform

    Connections {
        target: panels.platform
        function onPanelRequested() {
            if (panels.platform.panelChoosesFolder) {
                folderDialog.open()
            } else {
                fileDialog.open()
            }
        }
        function onPanelAnswered() {
            fileDialog.close()
            folderDialog.close()
        }
    }
    FileDialog {
        id: fileDialog
        title: panels.platform.panelTitle
        acceptLabel: panels.platform.panelPrompt
        fileMode: panels.platform.panelChoosesSeveral ? FileDialog.OpenFiles : FileDialog.OpenFile
        nameFilters: panels.platform.panelNameFilters
        currentFolder: panels.platform.panelStartFolder
        onAccepted: panels.platform.answerPanel(selectedFiles)
        onRejected: panels.platform.cancelPanel()
    }
    FolderDialog {
        id: folderDialog
        title: panels.platform.panelTitle
        acceptLabel: panels.platform.panelPrompt
        currentFolder: panels.platform.panelStartFolder
        onAccepted: panels.platform.answerPanel([selectedFolder])
        onRejected: panels.platform.cancelPanel()
    }
}
