#include "download/ui/kolvane_app.h"

#include "download/ui/main_frame.h"
#include "serial/ui/dialog_seams.h"
#include "serial/ui/interrupt_watch.h"

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
    serial::ui::watchInterrupts(*this, [this] {
        if (frame_) frame_->CloseWithoutAsking();  // stops the worker
        quit();                                    // ends any dialog on top of the frame too
    });
}
