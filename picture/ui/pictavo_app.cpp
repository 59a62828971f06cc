#include "picture/ui/pictavo_app.h"

#include "picture/ui/pictavo_dlg.h"
#include "serial/ui/dialog_seams.h"

namespace {

// The caption of a box that brings none of its own.
const QString kApplicationTitle = QStringLiteral("Pictavo");

}  // namespace

CPictavoApp::CPictavoApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("pictavo"));
    // The desktop entry the package installs (packaging/applications/), so the desktop ties
    // the window to its menu entry and icon.
    setDesktopFileName(QStringLiteral("com.veltrix.Pictavo"));
    setOrganizationName(QStringLiteral("Veltrix"));
    serial::ui::setDefaultCaption(kApplicationTitle);
}

int CPictavoApp::Run() {
    CPictavoDlg dialog;
    dialog.exec();
    return 0;
}
