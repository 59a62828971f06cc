// CSendCommandDlg, the picture tool's service window: a list of named scanner commands and a
// terminal pane that shows each command sent (red) and the scanner's answer (dark blue) with
// control characters made visible; buttons to send, to take a picture, for the rack analysis
// and the camera set-up; the picture progress; and the pane saved as rich text.
//
// The main dialog opens it modally and keeps a pointer to it while it is open, so picture
// status and progress show here too; the window reaches the main dialog only through
// pictavo::ui::SendCommandOwner. Sending runs on the GUI thread and blocks it for the
// command's reply wait plus the scanner's quiet time.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "picture/engine/command_table.h"
#include "picture/ui/send_command_owner.h"

class CMyEdit;
class QComboBox;
class QLabel;
class QMenuBar;
class QProgressBar;
class QPushButton;

namespace Ui {
class CSendCommandDlg;
}

class CSendCommandDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr std::size_t kReplyBufferSize = 14000;
    static constexpr int kColumnPercent = 15;
    static constexpr char kTextFileName[] = "KIVText.rtf";

    explicit CSendCommandDlg(pictavo::ui::SendCommandOwner& owner);
    ~CSendCommandDlg() override;

    // Shows the command in red, prepares the engine and sends it; shows the reply, if any, in
    // dark blue. A name not in the table does nothing.
    void SendNamedCommand(const std::string& name);

    // Picture status and progress from the main dialog: 0 hides the progress bar.
    void SetStatusText(const QString& text);
    void SetProgress(int percent);

    const pictavo::CommandTable& Commands() const { return commands_; }
    // The file "Save Text" proposes: the last one saved, or KIVText.rtf in the documents folder.
    QString ProposedTextFile() const;

    QMenuBar* menuBar() const { return menuBar_; }
    QComboBox* commandList() const;
    CMyEdit* terminal() const;
    QLabel* statusText() const;
    QProgressBar* progressBar() const;
    QPushButton* sendButton() const;
    QPushButton* pictureButton() const;
    QPushButton* cameraButton() const;
    QPushButton* calibrateButton() const;
    QPushButton* analyzeButton() const;
    int ColumnWidth() const { return columnWidth_; }

public slots:
    void OnSendCmd();
    void OnCameraSettings();
    void OnClearScreen();
    void OnDebugCommands();
    void OnSaveText();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void BuildMenus();
    void FillCommandList();
    void LayOutPanes();

    pictavo::ui::SendCommandOwner& owner_;
    std::unique_ptr<Ui::CSendCommandDlg> ui_;
    QMenuBar* menuBar_;
    pictavo::CommandTable commands_;
    QString savedTextFile_;
    int columnWidth_ = 0;
};
