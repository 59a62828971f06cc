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
#include <cstdio>
#include <cstdlib>

#include "picture/engine/picture_files.h"
#include "picture/ui/pictavo_dlg.h"
#include "picture/ui/picture_viewer.h"
#include "picture/ui/send_command_dlg.h"
#include "picture/ui/settings_dialogs.h"
#include "picture/ui/small_dialogs.h"
#include "serial/ui/terminal_view.h"
#include "sim/jpeg_encoder.h"
#include "sim/scanner_device.h"
#include "tests/support/screenshots.h"

namespace {

using screenshots::settle;
using screenshots::waitFor;

constexpr int kWait = 10000;

QMenu* menuNamed(QMenuBar* bar, const QString& title) {
    for (QAction* a : bar->actions())
        if (a->menu() && a->text() == title) return a->menu();
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pictavo_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const auto [scratch, map] = screenshots::enterScratchFolder("pictavo-screenshots");
    if (scratch.empty()) return 1;
    ::setenv("XDG_DOCUMENTS_DIR", scratch.c_str(), 1);

    QApplication app(argc, argv);
    screenshots::Camera shots(QString::fromLocal8Bit(argv[1]));
    // Nothing here may wait for a person.
    screenshots::printMessageBoxes();

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
    shots.shoot(dlg, QStringLiteral("main_dialog"));

    // A transfer under way: progress bar and Cancel.
    dlg.Settings().snapshot = 0;
    QTimer::singleShot(0, &dlg, [&] { dlg.OnTakePicture(); });
    if (waitFor([&] { return dlg.progressBar()->value() >= 30; }, kWait))
        shots.shoot(dlg, QStringLiteral("main_dialog_transferring"));
    else
        shots.fail();
    dlg.OnCancel();
    waitFor([&] { return dlg.Engine() && !dlg.Engine()->IsCapturing(); }, kWait);
    settle();

    // The Settings menu, opened.
    if (QMenu* settings = menuNamed(dlg.menuBar(), QStringLiteral("&Settings"))) {
        settings->popup(dlg.mapToGlobal(QPoint(40, dlg.menuBar()->height())));
        settle();
        shots.shoot(*settings, QStringLiteral("main_dialog_settings_menu"));
        dlg.portMenu()->popup(settings->mapToGlobal(QPoint(settings->width(), 0)));
        settle();
        shots.shoot(*dlg.portMenu(), QStringLiteral("main_dialog_port_menu"));
        dlg.portMenu()->hide();
        settings->hide();
    }

    // The viewer with a whole 1280 x 1024 picture, at 25 % and at 50 %.
    const std::string temp = dlg.TempFile();
    auto grey = sim::generateGreyPicture(1280, 1024);
    auto jpeg = sim::encodeGreyJpeg(grey.data(), 1280, 1024, 65);
    pictavo::storePicture(temp, nullptr, jpeg.data(), jpeg.size());
    {
        pictavo::PictureSettings s;
        CPictureViewer viewer(s, temp);
        shots.shoot(viewer, QStringLiteral("viewer"));
        s.scale = pictavo::kScale50;
        CPictureViewer half(s, temp);
        shots.shoot(half, QStringLiteral("viewer_50"));
    }

    {
        set_size size(pictavo::PictureWindow{0, 0, 1279, 1023}, &dlg);
        shots.shoot(size, QStringLiteral("set_size"));
        CQuality quality(65, &dlg);
        shots.shoot(quality, QStringLiteral("quality"));
        CCameraSettingsDlg camera(pictavo::kDefaultCameraSetup, &dlg);
        shots.shoot(camera, QStringLiteral("camera_settings"));
        CDebugCommandDlg debug(false, &dlg);
        shots.shoot(debug, QStringLiteral("debug_commands"));
        CAbout about(&dlg);
        shots.shoot(about, QStringLiteral("about"));
    }

    {
        dlg.Settings().debugCommands = 1;
        CSendCommandDlg send(dlg);
        send.show();
        for (const char* name : {"Get SW Version", "Toggle Laser", "Rack Analyze", "Save Config"})
            send.SendNamedCommand(name);
        send.commandList()->setCurrentText(QStringLiteral("Get SW Version"));
        send.SetStatusText(QStringLiteral("Transferring..."));
        send.SetProgress(60);
        shots.shoot(send, QStringLiteral("send_command"));
    }

    scanner.stop();
    QDir(QString::fromStdString(scratch)).removeRecursively();
    return shots.failures() == 0 ? 0 : 1;
}
