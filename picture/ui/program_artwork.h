// The picture tool's artwork, from resources/pictavo.
#pragma once

#include "serial/ui/program_artwork.h"

namespace pictavo::ui {

const serial::ui::ProgramArtwork& artwork();

}  // namespace pictavo::ui
