// Takes a screenshot of each of the download tool's windows, as the user sees them, into PNG
// files: scripts/screenshots.sh runs it under a virtual X server.
//
//   kolvane_screenshots OUTPUT_FOLDER
//
// It works in a scratch folder of its own (port map, images) with a simulated Z7 device on
// COM1, so the main window shows a real download in its log.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "download/ui/kolvane_view.h"
#include "download/ui/main_frame.h"
#include "download/ui/small_dialogs.h"
#include "download/ui/z7_image_view.h"
#include "serial/ui/dialog_seams.h"
#include "sim/z7_device.h"
#include "tests/support/screenshots.h"

namespace {

using screenshots::settle;
using screenshots::waitFor;

// A download at the line's real pace takes a while.
constexpr int kWait = 30000;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kolvane_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const auto [scratch, map] = screenshots::enterScratchFolder("kolvane-screenshots");
    if (scratch.empty()) return 1;

    QApplication app(argc, argv);
    screenshots::Camera shots(QString::fromLocal8Bit(argv[1]));
    // Nothing here may wait for a person.
    screenshots::printMessageBoxes();
    const std::string image = scratch + "/app.bin";
    {
        std::ofstream f(image, std::ios::binary);
        for (int i = 0; i < 3 * 8192 + 1000; ++i) f.put(static_cast<char>(i * 31));
    }
    serial::ui::setFileDialogHandler(
        [&](const serial::ui::FileDialogRequest&) -> std::optional<QString> {
            return QString::fromStdString(image);
        });

    sim::Z7Device z7;
    if (!z7.start(map, 1, "Veltrix Z7 (COM1)")) {
        std::fprintf(stderr, "the simulated Z7 device did not start\n");
        return 1;
    }

    CMainFrame frame;
    frame.show();
    CKolvaneView& view = *frame.LogView();
    if (!waitFor([&] { return view.IsReady(); }, kWait)) shots.fail();

    // A download with the start-up settings, finished.
    frame.OnFileOpen();
    if (!waitFor([&] { return view.IsReady(); }, kWait)) shots.fail();
    shots.shoot(frame, QStringLiteral("kolvane_main_window"));

    // A second download under way, at the line's real pace: the status bar shows its progress.
    z7.line().setPacing(true);
    frame.OnFileOpen();
    if (waitFor([&] { return view.DownloadPercent() >= 30; }, kWait))
        shots.save(frame, QStringLiteral("kolvane_downloading"));
    else
        shots.fail();
    if (!waitFor([&] { return view.IsReady(); }, kWait)) shots.fail();
    z7.line().setPacing(false);

    // The Config menu, opened.
    for (QAction* a : frame.menuBar()->actions()) {
        if (a->text() != QStringLiteral("&Config")) continue;
        QMenu* config = a->menu();
        config->popup(frame.mapToGlobal(frame.menuBar()->actionGeometry(a).bottomLeft()));
        settle();
        shots.save(*config, QStringLiteral("kolvane_config_menu"));
        config->hide();
    }

    // The image view after a scan ended with Enter.
    frame.OnViewImage();
    frame.ImageView()->inputField()->setPlainText(QStringLiteral("4901234567894\n"));
    frame.ImageView()->inputField()->moveCursor(QTextCursor::Start);
    shots.shoot(frame, QStringLiteral("kolvane_image_view"));
    frame.OnViewLog();

    {
        CRsPortSetupDlg port(&frame);
        shots.shoot(port, QStringLiteral("kolvane_port_setup"));
        kolvane::ui::CAboutDlg about(&frame);
        shots.shoot(about, QStringLiteral("kolvane_about"));
        QMessageBox busy(QMessageBox::Warning, kolvane::ui::kApplicationTitle,
                         CKolvaneView::kBusyMessage, QMessageBox::Ok, &frame);
        shots.shoot(busy, QStringLiteral("kolvane_busy_message"));
    }

    frame.close();
    z7.stop();
    QDir(QString::fromStdString(scratch)).removeRecursively();
    return shots.failures() == 0 ? 0 : 1;
}
