// Takes a screenshot of the firmware installer's main window during a download, after it and
// after a cancelled one, of the configuration dialog with a scanner found and of the RS232
// monitor showing HEX data with its lamps: scripts/screenshots.sh runs it under a virtual X
// server.
//
//   fenwald_screenshots OUTPUT_FOLDER
//
// It works in a scratch folder of its own (port map, fenwald.ini) with a simulated scanner on
// COM1 and the build tree's loader component.
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <cstdio>

#include "installer/ui/configure_scanner.h"
#include "installer/ui/fenwald_dlg.h"
#include "installer/ui/show_rs232.h"
#include "platform/modem_lines.h"
#include "serial/port_discovery.h"
#include "sim/echo_device.h"
#include "sim/scanner_device.h"
#include "tests/installer/component_test_support.h"
#include "tests/support/screenshots.h"

namespace {

using screenshots::settle;
using screenshots::waitFor;

constexpr int kWait = 10000;
constexpr char kScannerName[] = "Veltrix Scanner (COM1)";

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fenwald_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const auto [scratch, map] = screenshots::enterScratchFolder("fenwald-screenshots");
    if (scratch.empty() || ::chdir(scratch.c_str()) != 0) return 1;

    QApplication app(argc, argv);
    screenshots::Camera shots(QString::fromLocal8Bit(argv[1]));
    screenshots::printMessageBoxes();

    sim::ScannerDevice scanner;
    if (!scanner.start(map, 1, kScannerName)) {
        std::fprintf(stderr, "the simulated scanner did not start\n");
        return 1;
    }
    scanner.setOwnRates({19200});
    const std::string firmware = scratch + "/app.hex";
    {
        FILE* f = std::fopen(firmware.c_str(), "w");
        const std::string hex = testcomponents::intelHex(testcomponents::randomBytes(64 * 1024, 5));
        std::fwrite(hex.data(), 1, hex.size(), f);
        std::fclose(f);
    }

    {
        CfenwaldDlg window({}, testcomponents::buildTreeRegistry());
        window.Settings().port = 1;
        window.RefreshMenus();
        shots.shoot(window, QStringLiteral("main_window"));
        window.DropFiles({QString::fromStdString(firmware)});
        if (waitFor([&] { return window.progressBar()->isVisible(); }, kWait))
            shots.shoot(window, QStringLiteral("main_window_downloading"));
        else
            shots.fail();
        waitFor([&] { return !window.Busy(); }, 60000);
        shots.shoot(window, QStringLiteral("main_window_installed"));
        window.OnCommand(CfenwaldDlg::kDownloadAgain);
        window.CancelJob();
        if (waitFor([&] { return !window.Busy(); }, kWait))
            shots.shoot(window, QStringLiteral("main_window_cancelled"));
        else
            shots.fail();
        window.done(0);
    }

    {
        serial::setCurrentPortName(kScannerName);
        std::string path = scratch + "/scanner.vsc";
        FILE* f = std::fopen(path.c_str(), "w");
        std::fputs("Config=ABC", f);
        std::fclose(f);
        ConfigureScanner dialog(path, true);
        if (waitFor([&] { return !dialog.Busy() && dialog.Connected(); }, kWait))
            shots.shoot(dialog, QStringLiteral("configure_scanner"));
        else
            shots.fail();
        fenwald::ui::CAboutDlg about(&dialog);
        shots.shoot(about, QStringLiteral("configure_scanner_about"));
        dialog.done(0);
    }
    {
        // The monitor on an echo device: a scanner's reply in HEX, CTS and DSR on.
        sim::EchoDevice echo;
        if (!echo.start(map, 2, "Veltrix Echo (COM2)")) {
            std::fprintf(stderr, "the echo device did not start\n");
            return 1;
        }
        platform::RecordingModemLines lamps;
        lamps.statusToReport = {true, true, false, false};
        fenwald::FenwaldSettings settings;
        settings.port = 2;
        settings.baudrate = 115200;
        settings.format = serial::kFormatHex;
        ShowRS232 monitor(settings, nullptr, testcomponents::buildTreeRegistry(), &lamps);
        monitor.show();
        const std::string reply = "Veltrix V2.07 boot 1.1\r\n0123456789ABCDEF\r\n";
        for (int i = 0; i < 3; ++i) echo.line().send(reply);
        if (waitFor([&] { return monitor.terminal()->PlainText().count(QLatin1Char(' ')) > 100; },
                    kWait))
            shots.shoot(monitor, QStringLiteral("rs232_monitor"));
        else
            shots.fail();
        monitor.done(0);
    }
    return shots.failures() == 0 ? 0 : 1;
}
