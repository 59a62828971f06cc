// Fonts and colours the picture tool's windows share.
#pragma once

#include <QColor>
#include <QFont>

class QProgressBar;

namespace pictavo::ui {

// The transfer progress bar: this blue on white.
inline const QColor kProgressColour{0, 154, 205};

// "Verdana" at the given size, or the nearest sans-serif face the system has.
QFont statusFont(int points);
// "Courier New" 10 points, or the nearest fixed-pitch face.
QFont terminalFont();
// Bar colour kProgressColour on a white background, no text.
void paintProgressBar(QProgressBar* bar);

}  // namespace pictavo::ui
