// How much of the window's time the terminal needs to show a 115200 baud line in HEX format
// (11,520 bytes or 34,560 characters a second), with little text and with the text at its
// 1,500,000-character trimming threshold. Reported as the drawing time per kilobyte of line
// data and as a ratio to the line's own time for the same bytes (10 bits a byte): below 1 the
// terminal keeps up, and the ratio must not grow with the text.
//
// Runs on Qt's offscreen platform with the terminal shown, so painting is included.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#include "serial/ui/terminal_view.h"

namespace {

constexpr double kBaud = 115200;
constexpr double kBytesPerSecond = kBaud / 10;
constexpr std::size_t kRead = 100;       // the monitor's receive thread reads up to 100 bytes
constexpr std::size_t kTickBytes = 230;  // what arrives in one 20 ms drawing interval

struct Line : serial::ui::TerminalLine {
    void writeToLine(const std::uint8_t*, std::size_t) override {}
    bool textTransmissionActive() const override { return false; }
    bool localEcho() const override { return false; }
    int displayFormat() const override { return serial::kFormatHex; }
};

// Scanner output: barcode lines ending in CR LF.
std::vector<std::uint8_t> textLines(std::size_t n) {
    std::vector<std::uint8_t> out;
    const char* codes[] = {"4006381333931", "VX-7741-0032", "http://veltrix.example/p?id=88",
                           "0123456789"};
    for (std::size_t i = 0; out.size() < n; ++i) {
        for (const char* c = codes[i % 4]; *c; ++c) out.push_back(static_cast<std::uint8_t>(*c));
        out.push_back('\r');
        out.push_back('\n');
    }
    out.resize(n);
    return out;
}

// A stream with no CR at all: in HEX format one endless line.
std::vector<std::uint8_t> noCarriageReturn(std::size_t n) {
    std::vector<std::uint8_t> out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>(i * 7 % 256 == 0x0D ? 0x0A : i * 7 % 256);
    return out;
}

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void fillToThreshold(CMyEdit& edit, const std::vector<std::uint8_t>& data) {
    std::size_t at = 0;
    while (edit.TextLength() <= edit.trimThreshold()) {
        std::size_t n = std::min<std::size_t>(2700, data.size() - at);
        edit.AppendBytes(data.data() + at, n, serial::kColourBlue);
        at = (at + n) % (data.size() - 2700);
    }
    QCoreApplication::processEvents();
}

// Draws `seconds` of line data in one-tick batches of 100-byte reads, painting after each
// batch; returns the wall time spent.
double drawBatches(CMyEdit& edit, const std::vector<std::uint8_t>& data, double seconds) {
    std::size_t total = static_cast<std::size_t>(seconds * kBytesPerSecond);
    QElapsedTimer timer;
    timer.start();
    for (std::size_t done = 0; done < total;) {
        for (std::size_t tick = 0; tick < kTickBytes && done < total; tick += kRead, done += kRead)
            edit.AppendBytes(data.data() + done % (data.size() - kRead), kRead,
                             serial::kColourBlue);
        QCoreApplication::processEvents();  // paints
    }
    return double(timer.nsecsElapsed()) / 1e9;
}

void report(const char* data, const char* text, CMyEdit& edit, double drawSeconds,
            double lineSeconds) {
    double kilobytes = lineSeconds * kBytesPerSecond / 1024;
    std::printf("%-22s %-14s %9zu %12.1f us %12.4f\n", data, text, edit.TextLength(),
                drawSeconds * 1e6 / kilobytes, drawSeconds / lineSeconds);
}

// The real flow at the threshold: a receive thread hands 100-byte reads over at the line's
// pace, the terminal draws them from its timer. Returns the window thread's CPU time.
void pacedRun(QApplication& app, CMyEdit& edit, const std::vector<std::uint8_t>& data,
              double seconds) {
    std::atomic<bool> done = false;
    std::size_t total = static_cast<std::size_t>(seconds * kBytesPerSecond);
    std::size_t maxBacklog = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout,
                     [&] { maxBacklog = std::max(maxBacklog, edit.PendingBytes()); });
    sampler.start(5);
    double cpu0 = threadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    std::thread receiver([&] {
        auto start = std::chrono::steady_clock::now();
        for (std::size_t sent = 0; sent < total; sent += kRead) {
            std::this_thread::sleep_until(
                start + std::chrono::duration<double>((sent + kRead) / kBytesPerSecond));
            edit.AppendBytes(data.data() + sent % (data.size() - kRead), kRead,
                             serial::kColourBlue);
        }
        done = true;
    });
    while (!done || edit.PendingBytes() > 0) app.processEvents(QEventLoop::WaitForMoreEvents);
    receiver.join();
    double cpu = threadCpuSeconds() - cpu0;
    double elapsed = double(wall.nsecsElapsed()) / 1e9;
    std::printf(
        "paced through the queue at the threshold, %.0f s of line: window thread busy %.4f of the\n"
        "line's time, largest backlog %zu bytes, %llu bytes dropped, ended %.0f ms after the "
        "line\n",
        seconds, cpu / (double(total) / kBytesPerSecond), maxBacklog,
        static_cast<unsigned long long>(edit.DroppedBytes()),
        (elapsed - double(total) / kBytesPerSecond) * 1000);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;

    std::printf(
        "terminal_bench: HEX format at %.0f baud (%.0f bytes, %.0f characters a second), %.0f s of "
        "line each\n",
        kBaud, kBytesPerSecond, kBytesPerSecond * 3, seconds);
    std::printf("%-22s %-14s %9s %15s %12s\n", "data", "text", "length", "cost per KB",
                "time ratio");
    for (int kind = 0; kind < 2; ++kind) {
        const char* name = kind == 0 ? "scanner lines" : "no CR (endless line)";
        auto data = kind == 0 ? textLines(1 << 20) : noCarriageReturn(1 << 20);
        Line line;
        // The display-only terminal trims at 150,000 characters, the input one at 1,500,000.
        CMyEdit display;
        CMyEdit input(&line);
        display.SetDisplayFormat(serial::kFormatHex);
        double small = 0;
        double full[2] = {};
        for (CMyEdit* edit : {&display, &input}) {
            edit->setFont(QFont("Courier New", 10));
            edit->resize(800, 600);
            edit->show();
            QCoreApplication::processEvents();
            if (edit == &display) {
                small = drawBatches(*edit, data, seconds);
                report(name, "from empty", *edit, small, seconds);
            }
            fillToThreshold(*edit, data);
            double& t = full[edit == &display ? 0 : 1];
            t = drawBatches(*edit, data, seconds);
            report(name, "at threshold", *edit, t, seconds);
            edit->hide();
        }
        std::printf(
            "%-22s cost with 10 times the text (1,500,000 against 150,000 characters): x%.2f\n", "",
            full[1] / full[0]);
        if (kind == 0) {
            input.show();
            pacedRun(app, input, data, std::min(seconds, 3.0));
        }
    }
    return 0;
}
