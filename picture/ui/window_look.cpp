#include "picture/ui/window_look.h"

#include <QProgressBar>

namespace pictavo::ui {

QFont statusFont(int points) {
    QFont font(QStringLiteral("Verdana"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(points);
    return font;
}

QFont terminalFont() {
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(10);
    return font;
}

void paintProgressBar(QProgressBar* bar) {
    bar->setTextVisible(false);
    bar->setStyleSheet(
        QStringLiteral("QProgressBar { background: white; border: 1px solid #8c8c8c; }"
                       "QProgressBar::chunk { background: %1; }")
            .arg(kProgressColour.name()));
}

}  // namespace pictavo::ui
