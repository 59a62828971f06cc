#include "download/ui/program_artwork.h"

// Outside any namespace: Q_INIT_RESOURCE declares the resource's own function.
static void registerKolvaneResources() {
    Q_INIT_RESOURCE(kolvane);
}

const serial::ui::ProgramArtwork& kolvane::ui::artwork() {
    static const serial::ui::ProgramArtwork artwork(QStringLiteral(":/kolvane"),
                                                    registerKolvaneResources);
    return artwork;
}
