// The firmware installer's artwork, from resources/fenwald.
#pragma once

#include "serial/ui/program_artwork.h"

namespace fenwald::ui {

const serial::ui::ProgramArtwork& artwork();

}  // namespace fenwald::ui
