// ShowRS232, the installer's RS232 monitor ("RS232 Monitor"): a terminal over the installer's
// COM port with the installer's line settings (the main window's FenwaldSettings, changed here
// and saved by the main window), the four modem-line lamps and a progress bar in the status
// bar.
//
// The line, its receive thread and the text-file transmission are the MonitorEngine's
// (installer/engine/monitor_engine.h); this window drains its events on the GUI thread and
// shows received bytes and sent file pieces in blue, typed ones in red. While a menu is open
// the terminal is held: what arrives meanwhile is kept and shown, in order, when none of the
// menus is on screen any more (not when the show and hide signals balance: a menu popped up
// again while open shows twice and hides once).
//
// "Transmit/Receive Vesk file" hand the port to the transfer component (CVeskctl1) for the
// time of the transfer: the line is closed, the component's events are drained here, and its
// final status reopens the line. Until the other side answers, the progress bar says whom it
// waits for; "Cancel transfer" (or Esc) ends it with CANs on the line, and closing the monitor
// meanwhile asks first. Ports coming and going reach the window from a device
// watcher: an arrival applies the settings again, the removal of the monitored port closes the
// line.
//
// Closing (Exit, Alt+X, Esc, the close box) stops the receive thread and closes the line
// before the dialog ends.
#pragma once

#include <QDialog>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "installer/engine/fenwald_settings.h"
#include "installer/engine/monitor_engine.h"
#include "installer/engine/veskctl1.h"
#include "platform/component_host.h"
#include "platform/device_watcher.h"
#include "serial/ui/queue_drain.h"
#include "serial/ui/terminal_view.h"

class CProgStatusBar;
class QAction;
class QMenu;
class QMenuBar;

namespace Ui {
class ShowRS232;
}

class ShowRS232 : public QDialog, private serial::ui::TerminalLine {
    Q_OBJECT
public:
    // Command IDs.
    static constexpr int kSave = 57603, kSaveAs = 33077, kTransmitText = 33080,
                         kTransmitVesk = 33082, kReceiveVesk = 33084, kExit = 32773;
    static constexpr int kCut = 57635, kCopy = 57634, kPaste = 57637, kSelectAll = 32794,
                         kClearScreen = 32795, kToggleRts = 33078, kToggleDtr = 33079;
    static constexpr int kBaud1200 = 33085, kFirstBaud = 32797;  // 2400 .. 115200
    static constexpr int kCancelTransfer = 33086;
    static constexpr int kDatabits7 = 32804, kDatabits8 = 32805;
    static constexpr int kParityNone = 32806, kParityEven = 32807, kParityOdd = 32808;
    static constexpr int kStopbitsOne = 32809, kStopbitsTwo = 32810;
    static constexpr int kFirstFormat = 32811;  // Normal, ASCII, HEX
    static constexpr int kEchoOff = 32814, kEchoOn = 32815;
    static constexpr int kFirstIrda = 32816, kLastIrda = 32820;
    // Port n is 32821 + n; ports above 255 get IDs that select nothing.
    static constexpr int kFirstPort = 32822, kLastPort = 33076;
    static constexpr int kAbout = 32778;
    // Status-bar panes.
    enum Pane { kCtsPane = 0, kRtsPane, kDsrPane, kDtrPane, kProgressPane };

    // settings: the installer's, which the monitor changes; registry: where the transfer
    // component is looked up (the program's own when none); modemLines: stands for the line's
    // modem lines (tests, screenshots), must outlive the window.
    explicit ShowRS232(fenwald::FenwaldSettings& settings, QWidget* parent = nullptr,
                       std::optional<platform::ComponentRegistry> registry = std::nullopt,
                       platform::ModemLines* modemLines = nullptr);
    ~ShowRS232() override;

    // A menu command by its ID, as the menus and accelerators give them.
    void OnCommand(int id);
    void ApplySettings();
    void OnPortChange(const platform::PortChange& change);

    // ---- what the tests look at ----
    QMenuBar* menuBar() const { return menuBar_; }
    QMenu* settingsMenu() const { return settingsMenu_; }
    QMenu* portMenu() const { return portMenu_; }
    QAction* action(int id) const;
    CMyEdit* terminal() const { return terminal_; }
    CProgStatusBar* statusBar() const { return statusBar_; }
    bool lampOn(Pane pane) const;
    fenwald::MonitorEngine* engine() const { return engine_.get(); }
    bool transferRunning() const { return transferRunning_; }
    // What the progress bar says while the transfer waits for the other side; empty after.
    QString transferWaitText() const;
    const std::string& saveFileName() const { return saveFileName_; }

public slots:
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // TerminalLine
    void writeToLine(const std::uint8_t* data, std::size_t length) override;
    bool textTransmissionActive() const override;
    bool localEcho() const override;
    int displayFormat() const override;

    void BuildMenus();
    QMenu* AddMenu(QMenu* parent, const QString& text);
    QAction* AddCommand(QMenu* menu, const QString& text, int id, const QKeySequence& shortcut = {},
                        bool checkable = false);
    void PutCheckMarks();
    void SetLamp(Pane pane, bool on);
    void SetLamps(const fenwald::LampStates& lamps);
    void OnEvent(fenwald::MonitorEvent& event);
    void OnTextEnded(const fenwald::MonitorEvent& event);
    void OnTransmitText();
    void OnSave();
    void OnSaveAs();
    void OnVesk(bool transmit);
    void OnTransferEvent(const platform::ComponentEvent& event);
    void ShowTransferWait(const QString& text);
    bool MayClose();
    void MenuShown();
    void MenuHidden();
    bool MenuOpen(const QObject* except = nullptr) const;
    void ReleaseHold();
    void Error(const QString& text);

    std::unique_ptr<Ui::ShowRS232> ui_;
    fenwald::FenwaldSettings& settings_;
    QMenuBar* menuBar_ = nullptr;
    QMenu* settingsMenu_ = nullptr;
    QMenu* portMenu_ = nullptr;
    std::map<int, QAction*> commands_;
    std::vector<QMenu*> menus_;
    CMyEdit* terminal_ = nullptr;
    CProgStatusBar* statusBar_ = nullptr;

    std::string saveFileName_;
    std::string transferFile_;
    std::string receiveFolder_;
    std::optional<fenwald::MonitorEvent> heldEnd_;  // a text file's end while a menu was open
    bool transferRunning_ = false;
    bool closing_ = false;

    // The engine before its drain, which detaches from its queue; the watcher last.
    std::unique_ptr<fenwald::MonitorEngine> engine_;
    std::optional<serial::ui::QueueDrain<fenwald::MonitorEvent>> drain_;
    CVeskctl1 transfer_;
    serial::ui::QueueDrain<platform::ComponentEvent> transferDrain_;
    platform::DeviceWatcher watcher_;
};
