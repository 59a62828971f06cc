#include "picture/ui/program_artwork.h"

// Outside any namespace: Q_INIT_RESOURCE declares the resource's own function.
static void registerPictavoResources() {
    Q_INIT_RESOURCE(pictavo);
}

const serial::ui::ProgramArtwork& pictavo::ui::artwork() {
    static const serial::ui::ProgramArtwork artwork(QStringLiteral(":/pictavo"),
                                                    registerPictavoResources);
    return artwork;
}
