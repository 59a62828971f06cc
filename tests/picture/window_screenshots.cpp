// Takes a screenshot of each of the picture tool's windows, as the user sees them, into PNG
// files: scripts/screenshots.sh runs it under a virtual X server.
//
//   pictavo_screenshots OUTPUT_FOLDER
//
// It works in a scratch folder of its own (port map, settings, temporary files) with a
// simulated scanner on COM1, so the windows show real ports, replies and pictures.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "picture/engine/picture_files.h"
#include "picture/ui/pictavo_dlg.h"
#include "picture/ui/picture_viewer.h"
#include "picture/ui/send_command_dlg.h"
#include "picture/ui/settings_dialogs.h"
#include "picture/ui/small_dialogs.h"
#include "serial/ui/dialog_seams.h"
#include "serial/ui/terminal_view.h"
#include "sim/jpeg_encoder.h"
#include "sim/scanner_device.h"

namespace {

QDir out;
int failures = 0;

void settle(int ms = 150) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool waitFor(const std::function<bool()>& cond, int ms = 10000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > until) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void shoot(QWidget& w, const QString& name) {
    w.show();
    w.raise();
    w.activateWindow();
    settle();
    const QString path = out.filePath(name + ".png");
    if (w.grab().save(path)) {
        std::printf("%s  %dx%d\n", qPrintable(path), w.width(), w.height());
    } else {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++failures;
    }
}

QMenu* menuNamed(QMenuBar* bar, const QString& title) {
    for (QAction* a : bar->actions())
        if (a->menu() && a->text() == title) return a->menu();
    return nullptr;
}

std::string scratchFolder() {
    char pattern[] = "/tmp/pictavo-screenshots-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return made ? made : "";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pictavo_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string scratch = scratchFolder();
    if (scratch.empty()) return 1;
    const std::string map = scratch + "/ports";
    std::fclose(std::fopen(map.c_str(), "w"));
    ::setenv("VELTRIX_PORTS", map.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", scratch.c_str(), 1);
    ::setenv("XDG_DOCUMENTS_DIR", scratch.c_str(), 1);
    ::setenv("TMPDIR", scratch.c_str(), 1);

    QApplication app(argc, argv);
    out = QDir(QString::fromLocal8Bit(argv[1]));
    out.mkpath(QStringLiteral("."));
    // Nothing here may wait for a person.
    dialogs::SetMessageBoxHandler([](const dialogs::MessageBoxRequest& r) {
        std::fprintf(stderr, "message: %s\n", qPrintable(r.text));
        return QMessageBox::Ok;
    });

    sim::ScannerDevice scanner;
    if (!scanner.start(map, 1, "Veltrix 2D Scanner (COM1)")) {
        std::fprintf(stderr, "the simulated scanner did not start\n");
        return 1;
    }
    {
        FILE* f = std::fopen(map.c_str(), "a");
        std::fputs("COM3 /dev/null USB Serial Port (COM3)\n", f);
        std::fclose(f);
    }
    scanner.setBlockSize(256);

    CPictavoDlg dlg;
    dlg.UpdateMenus();
    dlg.statusLine()->setText(QStringLiteral("Aim and trigger..."));
    shoot(dlg, QStringLiteral("main_dialog"));

    // A transfer under way: progress bar and Cancel.
    dlg.Settings().snapshot = 0;
    QTimer::singleShot(0, &dlg, [&] { dlg.OnTakePicture(); });
    if (waitFor([&] { return dlg.progressBar()->value() >= 30; })) shoot(dlg, QStringLiteral("main_dialog_transferring"));
    else ++failures;
    dlg.OnCancel();
    waitFor([&] { return dlg.Engine() && !dlg.Engine()->IsCapturing(); });
    settle();

    // The Settings menu, opened.
    if (QMenu* settings = menuNamed(dlg.menuBar(), QStringLiteral("&Settings"))) {
        settings->popup(dlg.mapToGlobal(QPoint(40, dlg.menuBar()->height())));
        settle();
        shoot(*settings, QStringLiteral("main_dialog_settings_menu"));
        dlg.portMenu()->popup(settings->mapToGlobal(QPoint(settings->width(), 0)));
        settle();
        shoot(*dlg.portMenu(), QStringLiteral("main_dialog_port_menu"));
        dlg.portMenu()->hide();
        settings->hide();
    }

    // The viewer with a whole 1280 x 1024 picture, at 25 % and at 50 %.
    const std::string temp = dlg.TempFile();
    auto grey = sim::GenerateGreyPicture(1280, 1024);
    auto jpeg = sim::EncodeGreyJpeg(grey.data(), 1280, 1024, 65);
    picture::StorePicture(temp, nullptr, jpeg.data(), jpeg.size());
    {
        picture::PictureSettings s;
        CPictureViewer viewer(s, temp);
        shoot(viewer, QStringLiteral("viewer"));
        s.scale = picture::kScale50;
        CPictureViewer half(s, temp);
        shoot(half, QStringLiteral("viewer_50"));
    }

    {
        set_size size(picture::PictureWindow{0, 0, 1279, 1023}, &dlg);
        shoot(size, QStringLiteral("set_size"));
        CQuality quality(65, &dlg);
        shoot(quality, QStringLiteral("quality"));
        CCameraSettingsDlg camera(picture::kDefaultCameraSetup, &dlg);
        shoot(camera, QStringLiteral("camera_settings"));
        CDebugCommandDlg debug(false, &dlg);
        shoot(debug, QStringLiteral("debug_commands"));
        CAbout about(&dlg);
        shoot(about, QStringLiteral("about"));
    }

    {
        dlg.Settings().debugCommands = 1;
        CSendCommandDlg send(dlg);
        send.show();
        for (const char* name : {"Get SW Version", "Toggle Laser", "Rack Analyze", "Save Config"}) send.SendNamedCommand(name);
        send.commandList()->setCurrentText(QStringLiteral("Get SW Version"));
        send.SetStatusText(QStringLiteral("Transferring..."));
        send.SetProgress(60);
        shoot(send, QStringLiteral("send_command"));
    }

    scanner.stop();
    QDir(QString::fromStdString(scratch)).removeRecursively();
    return failures == 0 ? 0 : 1;
}
