// The download tool's own artwork from its resources (resources/kolvane): the program icon,
// the about box's bitmap and the toolbar buttons.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace kolvane::ui {

QIcon ProgramIcon();
QPixmap AboutBitmap();
// "open", "save", "cut", "copy", "paste" or "about".
QIcon ToolIcon(const QString& name);

}  // namespace kolvane::ui
