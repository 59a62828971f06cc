#include "download/ui/kolvane_app.h"

#include "download/ui/main_frame.h"

CKolvaneApp::CKolvaneApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("kolvane"));
    setOrganizationName(QStringLiteral("Veltrix"));
}

CKolvaneApp::~CKolvaneApp() { delete frame_; }

CKolvaneView* CKolvaneApp::LogView() const { return frame_ ? frame_->LogView() : nullptr; }
CZ7ImageView* CKolvaneApp::ImageView() const { return frame_ ? frame_->ImageView() : nullptr; }

int CKolvaneApp::Run() {
    if (!frame_) frame_ = new CMainFrame;
    frame_->show();
    return exec();
}
