#include "installer/ui/fenwald_app.h"

#include "installer/ui/fenwald_dlg.h"
#include "serial/ui/dialog_seams.h"

namespace {

// The caption of a box that brings none of its own.
const QString kApplicationTitle = QStringLiteral("fenwald");

}  // namespace

CfenwaldApp::CfenwaldApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("fenwald"));
    setOrganizationName(QStringLiteral("Veltrix"));
    serial::ui::setDefaultCaption(kApplicationTitle);
    if (argc > 1) startArgument_ = argv[1];
}

int CfenwaldApp::Run() {
    CfenwaldDlg window(startArgument_);
    window.exec();
    return 0;
}
