// ConfigureScanner ("Configure Scanner v1.0"): sends a .vsc configuration to a scanner, over its
// COM port after finding the scanner and its baud rate, or through the keyboard's lock
// indicators to a scanner attached as a USB keyboard. fenwald::ui::CAboutDlg is its about box
// (in the program's namespace: kolvane has an about box of the same name).
//
// Waits off the GUI thread: finding the scanner (up to about 1.6 s), the 500 ms wait for the
// acknowledgement and the indicator pulses (0.8 s a byte) run as one job at a time on the
// dialog's worker, which alone touches the serial line while it runs. Meanwhile the wait cursor
// shows, a HID send shows its progress, and every action but leaving the dialog is refused;
// leaving cancels the job (the indicators are put back) and waits for it. The bytes, their
// order and the waits on the line and the indicators are the engine's (installer/engine).
//
// The line is closed whenever the dialog closes, so the main window's loader finds the port
// free. A CSerialException from the line is shown as a message box with its text.
#pragma once

#include <QDialog>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "installer/engine/configuration_file.h"
#include "installer/engine/hid_configuration.h"
#include "installer/engine/scanner_connection.h"
#include "installer/engine/serial_configuration.h"
#include "installer/engine/serial_port.h"
#include "platform/cancel_flag.h"
#include "platform/device_watcher.h"
#include "platform/lock_keys.h"
#include "platform/worker.h"
#include "serial/ui/about_box.h"

class QAction;
class QComboBox;
class QLabel;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QCheckBox;

namespace Ui {
class ConfigureScanner;
}  // namespace Ui
namespace fenwald::ui::Ui {
class CAboutDlg;
}  // namespace fenwald::ui::Ui

namespace fenwald::ui {

class CAboutDlg : public serial::ui::AboutBox {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

private:
    std::unique_ptr<Ui::CAboutDlg> ui_;
};

}  // namespace fenwald::ui

class ConfigureScanner : public QDialog {
    Q_OBJECT
public:
    // The maker's two web sites.
    static constexpr char kMainSite[] = "https://www.veltrix.com/";
    static constexpr char kConfigurationSite[] = "https://www.veltrix.com/configuration/";
    static constexpr char kMainSiteItem[] = "www.veltrix.com";

    // Test seams: the lock keys the HID send uses (made on the worker's thread), the waits
    // between its steps, and the browser.
    using LockKeysFactory = std::function<std::unique_ptr<platform::LockKeys>()>;
    using IndicatorPause = std::function<void(std::chrono::milliseconds)>;
    using UrlOpener = std::function<void(const QString&)>;
    static void setLockKeysFactory(LockKeysFactory factory);  // null: the system's keyboard
    static void setIndicatorPause(IndicatorPause pause);      // null: the real 100 ms
    static void setUrlOpener(UrlOpener opener);               // null: the desktop's browser

    // configurationPath is the main window's, which it may have set; loadOnOpen loads it.
    ConfigureScanner(std::string& configurationPath, bool loadOnOpen, QWidget* parent = nullptr);
    ~ConfigureScanner() override;

    void RefreshPortList();
    void SelectPort();
    void LoadConfigurationFile();
    void Configure();
    void SetHidMode(bool on);
    void DropFiles(const QStringList& paths);
    void OnBrowse();
    void OnNew();
    void OnVisit();
    void OnAbout();
    void OnPortRemoved(int number);

    // ---- what the tests look at ----
    bool Busy() const { return busy_; }
    bool LineOpen() const { return lineOpen_; }
    bool Connected() const { return connected_; }
    int PortNumber() const { return portNumber_; }
    const std::string& Configuration() const { return configuration_; }
    QComboBox* scannerList() const;
    QLabel* comPortLabel() const;
    QLabel* baudRateLabel() const;
    QLabel* fileNameLabel() const;
    QLabel* configurationStatus() const;
    QPushButton* configureButton() const;
    QCheckBox* makePermanentBox() const;
    QCheckBox* hidBox() const;
    QProgressBar* hidProgress() const;
    QMenuBar* menuBar() const { return menuBar_; }
    QAction* openAction() const { return open_; }

public slots:
    // Every way out: the job cancelled and waited for, the connection reset, the line closed.
    void done(int result) override;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // What a job hands back to the GUI thread.
    struct JobResult {
        enum class Kind { Detect, Serial, Hid } kind = Kind::Detect;
        fenwald::ScannerConnection connection;
        std::optional<fenwald::SerialConfigurationResult> serial;
        fenwald::HidConfigurationResult hid;
        std::optional<QString> lineFailure;  // a CSerialException's text
    };

    void BuildMenus();
    void StartJob(JobResult::Kind kind, std::function<void(JobResult&)> body);
    void JobEnded(const JobResult& result);
    void SetBusy(bool on);
    void ShowDetection(const fenwald::ScannerConnection& c);
    void ShowConnection(const fenwald::ScannerConnection& c);
    void ResetConnection();
    void CloseLine();
    void Message(const fenwald::ConfigurationMessage& m);
    void OpenUrl(const char* address);

    std::unique_ptr<Ui::ConfigureScanner> ui_;
    QMenuBar* menuBar_ = nullptr;
    QAction* open_ = nullptr;
    std::vector<QAction*> refusedWhileBusy_;

    std::string& configurationPath_;
    std::string configuration_;
    bool loaded_ = false;
    bool hid_ = false;
    bool permanent_ = true;
    std::string rememberedPort_;
    int portNumber_ = 0;
    // The GUI thread's view of the line: the worker owns it while a job runs.
    bool lineOpen_ = false;
    bool connected_ = false;
    bool busy_ = false;
    bool closing_ = false;
    bool refreshAfterJob_ = false;
    std::optional<int> removedDuringJob_;

    CSerialPort port_;
    platform::CancelFlag cancel_;
    platform::DeviceWatcher watcher_;
    platform::Worker job_;  // last: stops before what its jobs use
};
