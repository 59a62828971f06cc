// What the programs' artwork drawers (resources/*/draw_artwork.cpp) share: the program icon's
// shaded rounded square, the about box's bitmap around the icon, name and line, and writing
// them into the output folder. Header only: each drawer stays one program of one file.
#pragma once

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <cstdio>
#include <functional>

namespace artwork {

// A rounded square of size pixels shaded from top to bottom, with the program's symbol on it.
inline QImage icon(int size, const QColor& top, const QColor& bottom,
                   const std::function<void(QPainter&)>& symbol) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, size);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    const qreal radius = size * 0.18;
    p.drawRoundedRect(QRectF(0, 0, size, size), radius, radius);
    symbol(p);
    return image;
}

struct About {
    QColor left, right;                                    // the shading, left to right
    std::function<void(QPainter&, int w, int h)> texture;  // drawn over the shading
    QImage icon;                                           // 72 x 72
    QString name;
    QString line;  // under the name
    int lineTop = 0;
    QColor lineColour;
};

// The about box's bitmap, 400 x 100.
inline QImage aboutBitmap(const About& a) {
    const int w = 400, h = 100;
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, w, 0);
    g.setColorAt(0, a.left);
    g.setColorAt(1, a.right);
    p.fillRect(image.rect(), g);
    a.texture(p, w, h);

    p.drawImage(QRect(14, 14, 72, 72), a.icon);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(34);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(104, 14, w - 110, 44), Qt::AlignLeft | Qt::AlignVCenter, a.name);
    font.setBold(false);
    font.setPixelSize(15);
    p.setFont(font);
    p.setPen(a.lineColour);
    p.drawText(QRect(106, a.lineTop, w - 110, 26), Qt::AlignLeft | Qt::AlignVCenter, a.line);
    return image;
}

// The drawer's main: writes icon_16 to icon_256.png (the windows use up to 64, the desktop's
// hicolor theme all of them) and about.png into the folder named on the command line, then what
// more draws; 0 when everything was written.
inline int writeArtwork(int argc, char** argv, const char* program,
                        const std::function<QImage(int size)>& icon,
                        const std::function<QImage()>& about,
                        const std::function<bool(const QDir& out)>& more = nullptr) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", program);
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    bool ok = true;
    for (int size : {16, 32, 48, 64, 128, 256})
        ok &= icon(size).save(out.filePath(QStringLiteral("icon_%1.png").arg(size)));
    ok &= about().save(out.filePath(QStringLiteral("about.png")));
    if (more) ok &= more(out);
    if (!ok) std::fprintf(stderr, "%s: cannot write into %s\n", program, argv[1]);
    return ok ? 0 : 1;
}

}  // namespace artwork
