// ProgramArtwork, a program's artwork in its Qt resources (resources/<program>/, under the
// prefix :/<program>): the program icon, the about box's bitmap and the toolbar buttons.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace serial::ui {

class ProgramArtwork {
public:
    // The resources live in the program's static library, and Qt registers those only when
    // asked, from code that knows the resource's name (Q_INIT_RESOURCE): registerResource
    // does that, and is called here. One object per program is enough.
    ProgramArtwork(QString prefix, void (*registerResource)());

    // icon_16.png to icon_64.png.
    QIcon programIcon() const;
    // about.png.
    QPixmap aboutBitmap() const;
    // tool_NAME_16.png and tool_NAME_32.png.
    QIcon toolIcon(const QString& name) const;

private:
    QString path(const QString& file) const { return prefix_ + QLatin1Char('/') + file; }
    QString prefix_;
};

}  // namespace serial::ui
