#include "download/ui/kolvane_app.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

#include "download/ui/main_frame.h"
#include "serial/ui/dialog_seams.h"

namespace {

// A signal handler may only write to a descriptor; the GUI thread reads the other end.
int signalSockets[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(signalSockets[1], &c, 1);
}

}  // namespace

CKolvaneApp::CKolvaneApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("kolvane"));
    // The desktop entry the package installs (packaging/applications/), so the desktop ties
    // the window to its menu entry and icon.
    setDesktopFileName(QStringLiteral("com.veltrix.Kolvane"));
    setOrganizationName(QStringLiteral("Veltrix"));
    serial::ui::setDefaultCaption(kolvane::ui::kApplicationTitle);
    CloseOnSignals();
}

CKolvaneApp::~CKolvaneApp() {
    delete frame_;
}

CKolvaneView* CKolvaneApp::LogView() const {
    return frame_ ? frame_->LogView() : nullptr;
}
CZ7ImageView* CKolvaneApp::ImageView() const {
    return frame_ ? frame_->ImageView() : nullptr;
}

int CKolvaneApp::Run() {
    if (!frame_) frame_ = new CMainFrame;
    frame_->show();
    return exec();
}

void CKolvaneApp::CloseOnSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0) return;
    auto* notifier = new QSocketNotifier(signalSockets[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char c;
        [[maybe_unused]] ssize_t n = ::read(signalSockets[0], &c, 1);
        if (frame_) frame_->CloseWithoutAsking();  // ends any dialog on top of it, stops the worker
        quit();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}
