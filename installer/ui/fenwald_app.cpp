#include "installer/ui/fenwald_app.h"

#include "installer/ui/fenwald_dlg.h"
#include "serial/ui/dialog_seams.h"
#include "serial/ui/interrupt_watch.h"

namespace {

// The caption of a box that brings none of its own.
const QString kApplicationTitle = QStringLiteral("fenwald");

}  // namespace

CfenwaldApp::CfenwaldApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("fenwald"));
    // The desktop entry the package installs (packaging/applications/), so the desktop ties
    // the window to its menu entry and icon.
    setDesktopFileName(QStringLiteral("com.veltrix.Fenwald"));
    setOrganizationName(QStringLiteral("Veltrix"));
    serial::ui::setDefaultCaption(kApplicationTitle);
    if (argc > 1) startArgument_ = argv[1];
}

int CfenwaldApp::Run() {
    CfenwaldDlg window(startArgument_);
    // A box or dialog still open on top of the window (a signal closed the window under it)
    // ends with it.
    connect(&window, &QDialog::finished, this, [] { QCoreApplication::quit(); });
    serial::ui::watchInterrupts(window, [&window] { window.CloseWithoutAsking(); });
    window.exec();
    return 0;
}
