#include "picture/ui/pictavo_app.h"

#include "picture/ui/pictavo_dlg.h"

CPictavoApp::CPictavoApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("pictavo"));
    setOrganizationName(QStringLiteral("Veltrix"));
}

int CPictavoApp::Run() {
    CPictavoDlg dialog;
    dialog.exec();
    return 0;
}
