#include "installer/ui/program_artwork.h"

// Outside any namespace: Q_INIT_RESOURCE declares the resource's own function.
static void registerFenwaldResources() {
    Q_INIT_RESOURCE(fenwald);
}

const serial::ui::ProgramArtwork& fenwald::ui::artwork() {
    static const serial::ui::ProgramArtwork artwork(QStringLiteral(":/fenwald"),
                                                    registerFenwaldResources);
    return artwork;
}
