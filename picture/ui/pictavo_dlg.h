// CPictavoDlg, the picture tool's main dialog ("Zoral Vision Demo"): a status line, a progress
// bar and a Cancel button under a menu bar. It owns the program's settings (loaded at start,
// saved on exit and by "Save Settings"), the temporary picture file and the capture engine,
// which it creates on the first picture or command and destroys when another port is chosen.
//
// Threads. The engine reports into the dialog's one report queue, whichever engine it is; the
// dialog drains it on the GUI thread (progress, the engine's messages, the end of a capture).
// The image callback only keeps the picture's bytes on the capture thread; when the capture
// has ended the dialog stores them in its temporary file and shows the viewer. The capture
// thread never waits for the GUI thread, so the GUI thread may always wait for it.
//
// The port submenu follows ports coming and going (platform::DeviceWatcher, handed over to the
// GUI thread).
#pragma once

#include <QDialog>
#include <QPointer>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "picture/engine/image_video.h"
#include "picture/engine/picture_settings.h"
#include "picture/ui/picture_viewer.h"
#include "picture/ui/send_command_owner.h"
#include "platform/device_watcher.h"
#include "platform/report.h"
#include "serial/ui/queue_drain.h"

class CSendCommandDlg;
class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;

namespace Ui {
class CPictavoDlg;
}

namespace pictavo::ui {
class EngineMessageBoxes;
}

class CPictavoDlg : public QDialog, public pictavo::ui::SendCommandOwner {
    Q_OBJECT
public:
    // Port n is command 32822 + n - 1, for ports 1 to 100.
    static constexpr int kFirstPortCommand = 32822;
    static constexpr int kLastPortCommand = 32921;
    static constexpr int kStatusPoints = 16;

    explicit CPictavoDlg(QWidget* parent = nullptr);
    ~CPictavoDlg() override;

    // ---- settings ----
    pictavo::PictureSettings& Settings() override { return settings_; }
    const std::string& SettingsPath() const { return settingsFile_.path(); }
    // Reads every setting (a missing one is written back with its default), then UpdateMenus.
    void LoadSettings();
    void SaveSettings() override;
    // Rebuilds the port submenu and checks the item of every choice that matches its setting.
    void UpdateMenus();
    void SetCameraSettingsEnabled(bool on);

    // ---- jobs ----
    // "Initializing...", the device check, the settings handed to the engine and the capture
    // started; "Aim and trigger..." in snapshot mode. Failures: "Initialization Failed.".
    void OnTakePicture() override;
    // Makes the engine ready for a command of the send-command window; false (after
    // "Initialization Failed.") when the device check fails.
    bool PrepareForCommand() override;
    // A port command (32822..32921): selects the port and destroys the engine.
    void OnPortCommand(int command);
    // The Cancel button: ends the running capture.
    void OnCancel();
    CImageVideo* Engine() const override { return engine_.get(); }

    // ---- what the other windows and the tests look at ----
    QMenuBar* menuBar() const { return menuBar_; }
    QMenu* portMenu() const { return portMenu_; }
    QAction* takePictureAction() const { return takePicture_; }
    QLabel* statusLine() const;
    QProgressBar* progressBar() const;
    QPushButton* cancelButton() const;
    const std::string& TempFile() const { return tempFile_; }
    CSendCommandDlg* SendCommandWindow() const { return sendWindow_; }
    CPictureViewer* Viewer() const { return viewer_; }

public slots:
    // Exit: the engine stopped and destroyed (see above), the settings saved, the dialog ended
    // with 0.
    void done(int result) override;
    void OnSendCommand();
    void OnSetSize();
    void OnSetQuality();
    void OnAbout();

private:
    struct Choice {
        QAction* action;
        int value;
    };
    struct ChoiceMenu {
        int pictavo::PictureSettings::*setting;
        std::vector<Choice> items;
    };

    QWidget* ownerWindow() override { return this; }
    void BuildMenus();
    QMenu* AddChoiceMenu(QMenu* parent, const QString& title,
                         int pictavo::PictureSettings::*setting,
                         const std::vector<std::pair<QString, int>>& items);
    void SetStatus(const QString& text);
    void InitializationFailed();
    bool EnsureEngine();
    void DestroyEngine();
    void OnReport(const platform::Report& report);
    void OnProgress(int percent);
    void OnImage(const pictavo::BitmapInfo* header, const std::uint8_t* data, std::size_t length);
    void OnCaptureEnded(CaptureOutcome outcome);
    void ShowViewer();

    std::unique_ptr<Ui::CPictavoDlg> ui_;
    QMenuBar* menuBar_ = nullptr;
    QMenu* portMenu_ = nullptr;
    QAction* takePicture_ = nullptr;
    std::vector<ChoiceMenu> choices_;

    pictavo::PictureSettings settings_;
    pictavo::PictureSettingsFile settingsFile_;
    std::string tempFile_;

    std::unique_ptr<pictavo::ui::EngineMessageBoxes> messages_;
    platform::ReportQueue engineReports_;
    serial::ui::QueueDrain<platform::Report> reportDrain_;
    // The picture the capture thread handed over, until the capture has ended.
    struct Picture {
        std::optional<pictavo::BitmapInfo> header;
        std::vector<std::uint8_t> bytes;
    };
    std::mutex pictureLock_;
    std::optional<Picture> picture_;
    std::unique_ptr<CImageVideo> engine_;  // after what its threads report into
    CSendCommandDlg* sendWindow_ = nullptr;
    QPointer<CPictureViewer> viewer_;
    platform::DeviceWatcher watcher_;
    bool exiting_ = false;
};
