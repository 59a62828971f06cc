// CfenwaldDlg, the firmware installer's main window ("fenwald"): a status line, the loader
// component's place (its own small picture, idle or busy) and a progress bar under the menus.
// It owns the shared settings (fenwald.ini, loaded at start, saved however the window closes),
// the loader component and the path the configuration dialog loads.
//
// A firmware file from the menu, the command line or a drop goes to the loader with the port and
// the IrDA type; the loader's Status events are drained on the GUI thread and handled by the
// range of their code. While a download runs the File, Utilities and Settings menus and their
// shortcuts are disabled; About stays. A file whose name ends in ".vsc" opens the configuration
// dialog instead (from the command line, once the window has first been painted).
//
// A loader that cannot be created is reported once the window shows; the window works without
// it and says so again when a job needs it. The Port submenu follows ports coming and going.
#pragma once

#include <QDialog>
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

namespace Ui {
class CfenwaldDlg;
}

class CfenwaldDlg : public QDialog {
    Q_OBJECT
public:
    // Command IDs.
    static constexpr int kDownload = 32771, kDownloadAgain = 32772, kExit = 32773, kAbout = 32774,
                         kShowRs232 = 32775, kShowVersions = 32776, kSendTime = 32777,
                         kSendConfiguration = 33879;
    static constexpr int kFirstIrda = 32816, kLastIrda = 32821;
    // Port n is command 32822 + n - 1; ports above 255 get IDs that select nothing.
    static constexpr int kFirstPort = 32822, kLastPort = 33076;
    static constexpr int kStatusPoints = 16;
    static constexpr int kMaxDroppedPath = 519;

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
    const std::string& FileName() const { return fileName_; }
    std::string& ConfigurationPath() { return configurationPath_; }
    fenwald::FenwaldSettings& Settings() { return settings_; }
    CGantry1& Loader() { return loader_; }
    bool Busy() const { return busy_; }
    bool ConfigurationPending() const { return openConfigurationOnPaint_; }

public slots:
    // Exit, Esc and the close box: the settings saved, result 0.
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
    void StartLoaderJob(void (CGantry1::*job)());
    bool LoaderMissing();
    void ShowLoaderPicture();
    void SetIdle();
    void RedrawNow();

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
    bool busy_ = false;
    bool closing_ = false;
    ConfigurationOpener opener_;
    std::optional<platform::ComponentRegistry> registry_;  // the monitor's transfer component's

    CGantry1 loader_;
    serial::ui::QueueDrain<platform::ComponentEvent> loaderDrain_;
    platform::DeviceWatcher watcher_;
};
