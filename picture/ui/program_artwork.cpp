#include "picture/ui/program_artwork.h"

// The resources live in a static library, so they are registered by hand before first use.
static void registerPictavoResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(pictavo);
        return true;
    }();
    (void)registered;
}

namespace pictavo {

QIcon ProgramIcon() {
    registerPictavoResources();
    QIcon icon;
    for (int size : {16, 32, 48, 64}) icon.addFile(QStringLiteral(":/pictavo/icon_%1.png").arg(size), QSize(size, size));
    return icon;
}

QPixmap AboutBitmap() {
    registerPictavoResources();
    return QPixmap(QStringLiteral(":/pictavo/about.png"));
}

}  // namespace pictavo
