#include "picture/ui/window_look.h"

#include <QProgressBar>

namespace pictavo {

QFont StatusFont(int points) {
    QFont font(QStringLiteral("Verdana"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(points);
    return font;
}

QFont TerminalFont() {
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(10);
    return font;
}

void PaintProgressBar(QProgressBar* bar) {
    bar->setTextVisible(false);
    bar->setStyleSheet(QStringLiteral("QProgressBar { background: white; border: 1px solid #8c8c8c; }"
                                      "QProgressBar::chunk { background: %1; }")
                           .arg(kProgressColour.name()));
}

}  // namespace pictavo
