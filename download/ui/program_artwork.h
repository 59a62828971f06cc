// The download tool's artwork, from resources/kolvane; its toolbar buttons are "open", "save",
// "cut", "copy", "paste" and "about".
#pragma once

#include "serial/ui/program_artwork.h"

namespace kolvane::ui {

const serial::ui::ProgramArtwork& artwork();

}  // namespace kolvane::ui
