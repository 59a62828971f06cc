#include "download/ui/program_artwork.h"

// The resources live in a static library, so they are registered by hand before first use.
static void registerKolvaneResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(kolvane);
        return true;
    }();
    (void)registered;
}

namespace kolvane::ui {

QIcon ProgramIcon() {
    registerKolvaneResources();
    QIcon icon;
    for (int size : {16, 32, 48, 64}) icon.addFile(QStringLiteral(":/kolvane/icon_%1.png").arg(size), QSize(size, size));
    return icon;
}

QPixmap AboutBitmap() {
    registerKolvaneResources();
    return QPixmap(QStringLiteral(":/kolvane/about.png"));
}

QIcon ToolIcon(const QString& name) {
    registerKolvaneResources();
    QIcon icon;
    for (int size : {16, 32})
        icon.addFile(QStringLiteral(":/kolvane/tool_%1_%2.png").arg(name).arg(size), QSize(size, size));
    return icon;
}

}  // namespace kolvane::ui
