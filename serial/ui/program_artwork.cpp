#include "serial/ui/program_artwork.h"

namespace serial::ui {

ProgramArtwork::ProgramArtwork(QString prefix, void (*registerResource)())
    : prefix_(std::move(prefix)) {
    registerResource();
}

QIcon ProgramArtwork::programIcon() const {
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addFile(path(QStringLiteral("icon_%1.png").arg(size)), QSize(size, size));
    return icon;
}

QPixmap ProgramArtwork::aboutBitmap() const {
    return QPixmap(path(QStringLiteral("about.png")));
}

QIcon ProgramArtwork::toolIcon(const QString& name) const {
    QIcon icon;
    for (int size : {16, 32})
        icon.addFile(path(QStringLiteral("tool_%1_%2.png").arg(name).arg(size)), QSize(size, size));
    return icon;
}

}  // namespace serial::ui
