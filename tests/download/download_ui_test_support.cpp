#include "tests/download/download_ui_test_support.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace kuitest {

QStringList checkedConfigItems(const CMainFrame& frame) {
    QStringList checked;
    for (QAction* top : frame.menuBar()->actions()) {
        if (!top->menu() || top->text() != QStringLiteral("&Config")) continue;
        for (QAction* a : top->menu()->actions())
            if (a->isChecked()) checked << a->text();
    }
    return checked;
}

KolvaneWindow::~KolvaneWindow() {
    stopWatching();
    frame.reset();
}

std::unique_ptr<sim::Z7Device> KolvaneWindow::device(int com, sim::Z7Device::Options options) {
    auto d = std::make_unique<sim::Z7Device>(options);
    EXPECT_TRUE(d->start(env.mapFile(), com, "Veltrix Z7 (COM" + std::to_string(com) + ")"));
    return d;
}

CMainFrame& KolvaneWindow::start() {
    auto recording = std::make_unique<platform::RecordingLockKeys>();
    keys = recording.get();
    frame = std::make_unique<CMainFrame>(std::move(recording));
    frame->show();
    EXPECT_TRUE(waitReady()) << "the line was not opened";
    return *frame;
}

void KolvaneWindow::trigger(const char* action) {
    QAction* a = frame->Action(action);
    ASSERT_NE(a, nullptr) << action;
    a->trigger();
}

bool KolvaneWindow::waitReady(std::chrono::milliseconds wait) {
    return eventually([&] { return frame->LogView()->IsReady(); }, wait);
}

std::string KolvaneWindow::writeImage(const std::string& name, const Bytes& bytes) {
    testenv::writeFile(env.dir().file(name), std::string(bytes.begin(), bytes.end()));
    return env.dir().file(name);
}

Lines transferEnd() {
    return {"Receiving stop directions transmission", "All the file data transmitting completion",
            "FROM block: Initialization completion", "FROM block: Writing completion",
            "All the FROM writing completion"};
}

}  // namespace kuitest
