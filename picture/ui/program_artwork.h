// The picture tool's artwork, from resources/pictavo.
#pragma once

#include "serial/ui/program_artwork.h"

namespace pictavo {

const serial::ui::ProgramArtwork& artwork();

}  // namespace pictavo
