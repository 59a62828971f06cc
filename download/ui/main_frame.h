// CMainFrame, the download tool's main window: menus (File, Edit, Config, View, Help) from
// resources/kolvane/main_frame.ui, the toolbar, the status bar with its message pane and the
// KANA, CAPS, NUM and SCRL panes, and the two views, the log (CKolvaneView) and the image view
// (CZ7ImageView), of which one is shown.
//
// The Config items keep their check marks here (one checked item per group) and hand the work
// to the log view; an item the view refuses while busy keeps the marks as they were. NumLock,
// ScrollLock and CapsLock press the key through platform::LockKeys, and the CAPS, NUM and SCRL
// panes show the lock states, read again every few hundred milliseconds. This platform has no
// Kana lock to read, so the KANA pane stays blank, as it does on a keyboard without one.
//
// "Cancel Download" (File menu, Esc, toolbar) is enabled while a command runs. The status
// bar shows the download's progress and the port in use. Closing the window during a download
// asks first; then it shuts the log view's worker down before anything goes away.
#pragma once

#include <QMainWindow>
#include <memory>

#include "download/engine/config_commands.h"
#include "platform/lock_keys.h"

namespace kolvane::ui {
// The program's name in the window title and the caption of a box that brings none of its own.
inline const QString kApplicationTitle = QStringLiteral("Kolvane");
}  // namespace kolvane::ui

class CKolvaneDoc;
class CKolvaneView;
class CZ7ImageView;
class QAction;
class QActionGroup;
class QLabel;
class QProgressBar;
class QScrollArea;
class QStackedWidget;
class QTimer;

namespace Ui {
class CMainFrame;
}

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    enum class Indicator { Kana, Caps, Num, Scrl };
    static constexpr int kIndicatorRefreshMs = 250;

    // keys: the keyboard the lock-key items press; null: the system's.
    explicit CMainFrame(std::unique_ptr<platform::LockKeys> keys = nullptr,
                        QWidget* parent = nullptr);
    ~CMainFrame() override;

    CKolvaneDoc* Document() const { return doc_; }
    CKolvaneView* LogView() const { return view_; }
    CZ7ImageView* ImageView() const { return imageView_; }
    // The view shown: the log view or the image view.
    QWidget* ActiveView() const;

    // A menu or toolbar action by its object name in main_frame.ui ("actionCom1", ...).
    QAction* Action(const char* name) const;
    QLabel* messagePane() const { return message_; }
    QLabel* portPane() const { return port_; }
    QProgressBar* progressBar() const { return progress_; }
    QLabel* indicatorPane(Indicator which) const;
    QToolBar* toolBar() const;

    // ---- commands ----
    void OnFileOpen();
    void OnFileSave();
    void OnCancelDownload();
    void OnPortX();
    void OnLockKey(platform::LockKey key);
    void OnViewLog();
    void OnViewImage();
    void OnAbout();
    // Closes even during a download, without asking (a signal asked for it).
    void CloseWithoutAsking();
    // Reads the lock states into the CAPS, NUM and SCRL panes.
    void UpdateIndicators();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Group {
        QActionGroup* marks = nullptr;
        QAction* checked = nullptr;
    };
    void BuildStatusBar();
    void ConnectCommands();
    void AddChoice(QAction* action, kolvane::ConfigChoice choice, Group* group);
    void AddToGroup(Group& group, QAction* action);
    static void Check(Group& group, QAction* action);
    void UpdateMessage();
    void UpdateState();
    void UpdateTitle();

    std::unique_ptr<Ui::CMainFrame> ui_;
    std::unique_ptr<platform::LockKeys> keys_;
    CKolvaneDoc* doc_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    CKolvaneView* view_ = nullptr;
    CZ7ImageView* imageView_ = nullptr;
    QScrollArea* imageScroll_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* port_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* indicators_[4] = {};
    QTimer* indicatorTimer_ = nullptr;
    Group ports_, kinds_, devices_, endians_, interfaces_;
    bool askBeforeClosing_ = true;
};
