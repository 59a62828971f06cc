// The picture tool's own artwork from its resources (resources/pictavo): the program icon and
// the about box's bitmap.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace pictavo {

QIcon ProgramIcon();
QPixmap AboutBitmap();

}  // namespace pictavo
