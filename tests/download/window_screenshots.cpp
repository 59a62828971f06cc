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
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "download/ui/kolvane_view.h"
#include "download/ui/main_frame.h"
#include "download/ui/small_dialogs.h"
#include "download/ui/z7_image_view.h"
#include "serial/ui/dialog_seams.h"
#include "sim/z7_device.h"

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

bool waitFor(const std::function<bool()>& cond, int ms = 30000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > until) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void save(QWidget& w, const QString& name) {
    const QString path = out.filePath(name + ".png");
    if (w.grab().save(path)) {
        std::printf("%s  %dx%d\n", qPrintable(path), w.width(), w.height());
    } else {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++failures;
    }
}

void shoot(QWidget& w, const QString& name) {
    w.show();
    w.raise();
    w.activateWindow();
    settle();
    save(w, name);
}

std::string scratchFolder() {
    char pattern[] = "/tmp/kolvane-screenshots-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return made ? made : "";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kolvane_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string scratch = scratchFolder();
    if (scratch.empty()) return 1;
    const std::string map = scratch + "/ports";
    std::fclose(std::fopen(map.c_str(), "w"));
    ::setenv("VELTRIX_PORTS", map.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", scratch.c_str(), 1);
    ::setenv("TMPDIR", scratch.c_str(), 1);

    QApplication app(argc, argv);
    out = QDir(QString::fromLocal8Bit(argv[1]));
    out.mkpath(QStringLiteral("."));
    // Nothing here may wait for a person.
    dialogs::SetMessageBoxHandler([](const dialogs::MessageBoxRequest& r) {
        std::fprintf(stderr, "message: %s\n", qPrintable(r.text));
        return QMessageBox::Ok;
    });
    const std::string image = scratch + "/app.bin";
    {
        std::ofstream f(image, std::ios::binary);
        for (int i = 0; i < 3 * 8192 + 1000; ++i) f.put(static_cast<char>(i * 31));
    }
    dialogs::SetFileDialogHandler(
        [&](const dialogs::FileDialogRequest&) -> std::optional<QString> { return QString::fromStdString(image); });

    sim::Z7Device z7;
    if (!z7.start(map, 1, "Veltrix Z7 (COM1)")) {
        std::fprintf(stderr, "the simulated Z7 device did not start\n");
        return 1;
    }

    CMainFrame frame;
    frame.show();
    CKolvaneView& view = *frame.LogView();
    if (!waitFor([&] { return view.IsReady(); })) ++failures;

    // A download with the start-up settings, finished.
    frame.OnFileOpen();
    if (!waitFor([&] { return view.IsReady(); })) ++failures;
    shoot(frame, QStringLiteral("kolvane_main_window"));

    // A second download under way, at the line's real pace: the status bar shows its progress.
    z7.line().setPacing(true);
    frame.OnFileOpen();
    if (waitFor([&] { return view.DownloadPercent() >= 30; })) save(frame, QStringLiteral("kolvane_downloading"));
    else ++failures;
    if (!waitFor([&] { return view.IsReady(); })) ++failures;
    z7.line().setPacing(false);

    // The Config menu, opened.
    for (QAction* a : frame.menuBar()->actions()) {
        if (a->text() != QStringLiteral("&Config")) continue;
        QMenu* config = a->menu();
        config->popup(frame.mapToGlobal(frame.menuBar()->actionGeometry(a).bottomLeft()));
        settle();
        save(*config, QStringLiteral("kolvane_config_menu"));
        config->hide();
    }

    // The image view after a scan ended with Enter.
    frame.OnViewImage();
    frame.ImageView()->inputField()->setPlainText(QStringLiteral("4901234567894\n"));
    frame.ImageView()->inputField()->moveCursor(QTextCursor::Start);
    shoot(frame, QStringLiteral("kolvane_image_view"));
    frame.OnViewLog();

    {
        CRsPortSetupDlg port(&frame);
        shoot(port, QStringLiteral("kolvane_port_setup"));
        CAboutDlg about(&frame);
        shoot(about, QStringLiteral("kolvane_about"));
        QMessageBox busy(QMessageBox::Warning, kolvane::ui::kApplicationTitle, CKolvaneView::kBusyMessage, QMessageBox::Ok,
                         &frame);
        shoot(busy, QStringLiteral("kolvane_busy_message"));
    }

    frame.close();
    z7.stop();
    QDir(QString::fromStdString(scratch)).removeRecursively();
    return failures == 0 ? 0 : 1;
}
