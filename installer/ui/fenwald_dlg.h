// CfenwaldDlg, the firmware installer's main window ("fenwald"): a status line, the loader
// component's place (its own small picture, idle or busy) and a progress bar under the menus.
// It owns the shared settings (fenwald.ini, loaded at start, saved however the window closes),
// the loader component and the path the configuration dialog loads.
//
// A firmware file from the menu, the command line or a drop goes to the loader with the port and
// the IrDA type; the loader's Status events are drained on the GUI thread and handled by the
// range of their code. A file whose name ends in ".vsc" opens the configuration dialog instead
// (from the command line, once the window has first been painted).
//
// One loader job at a time: a download, the versions or the time keeps the window busy (the
// Utilities and Settings menus, Download and Download Again disabled, the loader's picture
// busy) until the loader's ending status; a job asked for meanwhile, by a drop say, is refused
// with a word, never queued. Cancel (File menu, Esc, the button) asks the loader to stop and
// the window waits for its last status. Closing during a download asks first; closing during
// any job cancels it and waits at most kCancelWait for that last status before the window
// ends, so a loader that hangs cannot hold it. The status line keeps the last outcome until the
// next job starts; the port the jobs go to is shown under it.
//
// A loader that cannot be created is reported once the window shows; the window works without
// it and says so again when a job needs it. The Port submenu follows ports coming and going.
#pragma once

#include <QDialog>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "installer/engine/fenwald_settings.h"
#include "installer/engine/gantry1.h"
#include "platform/component_host.h"
#include "platform/device_watcher.h"
#include "serial/settings_file.h"
#include "serial/ui/queue_drain.h"

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;

namespace Ui {
class CfenwaldDlg;
}

class CfenwaldDlg : public QDialog {
    Q_OBJECT
public:
    // Command IDs.
    static constexpr int kDownload = 32771, kDownloadAgain = 32772, kExit = 32773, kAbout = 32774,
                         kShowRs232 = 32775, kShowVersions = 32776, kSendTime = 32777,
                         kSendConfiguration = 33879, kCancel = 32778;
    static constexpr int kFirstIrda = 32816, kLastIrda = 32821;
    // Port n is command 32822 + n - 1; ports above 255 get IDs that select nothing.
    static constexpr int kFirstPort = 32822, kLastPort = 33076;
    static constexpr int kStatusPoints = 16;
    static constexpr int kMaxDroppedPath = 519;
    static constexpr int kMinimumWidth = 420;  // pixels
    // How long a closing window waits for a cancelled job's last status.
    static constexpr std::chrono::milliseconds kCancelWait{5000};

    enum class Job { None, Download, Versions, Time };

    // How the configuration dialog is opened (loadOnOpen: with the shared path loaded); tests
    // replace it.
    using ConfigurationOpener = std::function<void(CfenwaldDlg&, bool loadOnOpen)>;

    // startArgument: the first argument after the program's name, as given; registry: where
    // the loader is looked up (the program's own when none).
    explicit CfenwaldDlg(const std::string& startArgument = {},
                         std::optional<platform::ComponentRegistry> registry = std::nullopt,
                         QWidget* parent = nullptr);
    ~CfenwaldDlg() override;

    // A menu command by its ID, as the menus and shortcuts give them.
    void OnCommand(int id);
    void StartDownload();
    // Asks the running job to stop; its last status follows.
    void CancelJob();
    // Closes as Exit does, without asking, cancelling a running job (a signal asked for it).
    void CloseWithoutAsking();
    void OnStatus(const fenwald::GantryStatus& status);
    void DropFiles(const QStringList& paths);
    void RefreshMenus();
    void EnableMenus(bool on);

    void setConfigurationOpener(ConfigurationOpener opener) { opener_ = std::move(opener); }
    void OpenConfigurationDialog(bool loadOnOpen);

    // ---- what the tests look at ----
    QMenuBar* menuBar() const { return menuBar_; }
    QMenu* portMenu() const { return portMenu_; }
    QAction* action(int id) const;
    QLabel* statusLine() const;
    QLabel* loaderControl() const;
    QProgressBar* progressBar() const;
    QPushButton* cancelButton() const;
    QLabel* portLabel() const;
    const std::string& FileName() const { return fileName_; }
    std::string& ConfigurationPath() { return configurationPath_; }
    fenwald::FenwaldSettings& Settings() { return settings_; }
    CGantry1& Loader() { return loader_; }
    bool Busy() const { return job_ != Job::None; }
    Job RunningJob() const { return job_; }
    bool ConfigurationPending() const { return openConfigurationOnPaint_; }

public slots:
    // Exit, Esc and the close box: the settings saved, result 0; during a job see above.
    void done(int result) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildMenus();
    QAction* AddCommand(QMenu* menu, const QString& text, int id,
                        const QKeySequence& shortcut = {});
    void OnFileOpen();
    bool StartJob(Job job);
    void StartLoaderJob(Job job, void (CGantry1::*method)());
    void EndJob();
    bool RefusedWhileBusy();
    bool LoaderMissing();
    void ShowLoaderPicture();
    void ShowPort();
    void FitStatusLine();
    void SetIdle();
    void RedrawNow();
    void BeginClose();
    void FinishClose();

    std::unique_ptr<Ui::CfenwaldDlg> ui_;
    QMenuBar* menuBar_ = nullptr;
    QMenu* portMenu_ = nullptr;
    QMenu* irdaMenu_ = nullptr;
    std::map<int, QAction*> commands_;

    serial::SettingsFile settingsFile_;
    fenwald::FenwaldSettings settings_;
    std::string fileName_;
    std::string configurationPath_;
    bool openConfigurationOnPaint_ = false;
    Job job_ = Job::None;
    bool cancelRequested_ = false;
    bool asking_ = false;           // the question before closing is open
    bool askBeforeClosing_ = true;  // not when a signal closes the window
    bool closing_ = false;          // no new command; a cancelled job's last status awaited
    bool closed_ = false;
    QTimer cancelWait_;
    ConfigurationOpener opener_;
    std::optional<platform::ComponentRegistry> registry_;  // the monitor's transfer component's

    CGantry1 loader_;
    serial::ui::QueueDrain<platform::ComponentEvent> loaderDrain_;
    platform::DeviceWatcher watcher_;
};
