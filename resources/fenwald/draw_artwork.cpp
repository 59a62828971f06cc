// Draws the firmware installer's artwork into PNG files: the program icon in six sizes, the
// about box's bitmap and the pictures the loader and transfer components show in their place
// (idle and busy). Run by scripts/draw_artwork.sh; the PNG files are committed beside it.
//
//   fenwald_draw_artwork OUTPUT_FOLDER
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "resources/artwork_drawing.h"

namespace {

const QColor kViolet(112, 72, 184);
const QColor kDeepViolet(58, 30, 112);
const QColor kAmber(255, 190, 40);

// A chip with its pins and an arrow coming down into it: firmware going into the scanner.
void drawChip(QPainter& p, const QRectF& r, bool small) {
    const qreal w = r.width();
    const QRectF body(r.left() + w * 0.22, r.top() + w * 0.40, w * 0.56, w * 0.56);
    const qreal pen = std::max<qreal>(1.0, w * 0.06);

    // Pins on the left and right, fewer on a tiny icon.
    const int pins = small ? 2 : 3;
    p.setPen(QPen(Qt::white, pen, Qt::SolidLine, Qt::FlatCap));
    for (int i = 0; i < pins; ++i) {
        const qreal y = body.top() + body.height() * (i + 1) / (pins + 1);
        p.drawLine(QPointF(r.left() + w * 0.08, y), QPointF(body.left(), y));
        p.drawLine(QPointF(body.right(), y), QPointF(r.right() - w * 0.08, y));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(body, w * 0.06, w * 0.06);

    // The arrow, amber, its tip in the chip.
    const qreal shaft = w * (small ? 0.16 : 0.12);
    const qreal head = w * (small ? 0.42 : 0.34);
    const qreal cx = r.center().x();
    const qreal tip = body.top() + body.height() * 0.62;
    const qreal headTop = tip - head * 0.6;
    QPainterPath arrow;
    arrow.moveTo(cx - shaft / 2, r.top() + w * 0.02);
    arrow.lineTo(cx + shaft / 2, r.top() + w * 0.02);
    arrow.lineTo(cx + shaft / 2, headTop);
    arrow.lineTo(cx + head / 2, headTop);
    arrow.lineTo(cx, tip);
    arrow.lineTo(cx - head / 2, headTop);
    arrow.lineTo(cx - shaft / 2, headTop);
    arrow.closeSubpath();
    p.setPen(QPen(kDeepViolet, std::max<qreal>(1.0, w * 0.03)));
    p.setBrush(kAmber);
    p.drawPath(arrow);
}

QImage icon(int size) {
    return artwork::icon(size, kViolet, kDeepViolet, [size](QPainter& p) {
        const qreal inset = size * (size <= 16 ? 0.10 : 0.14);
        drawChip(p, QRectF(inset, inset, size - 2 * inset, size - 2 * inset), size <= 16);
    });
}

// 400 x 100: the band with the icon and the name above, and white below, where the box writes
// its title over the bitmap.
QImage aboutBitmap() {
    const int w = 400, h = 100, band = 68;
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, w, 0);
    g.setColorAt(0, kDeepViolet);
    g.setColorAt(1, kViolet);
    p.fillRect(QRect(0, 0, w, band), g);
    // Faint circuit traces for texture.
    p.setPen(QPen(QColor(255, 255, 255, 26), 2));
    for (int x = 190; x < w; x += 22) {
        p.drawLine(x, 0, x, 20 + (x / 22 % 3) * 12);
        p.drawEllipse(QPointF(x, 24 + (x / 22 % 3) * 12), 3, 3);
    }
    p.fillRect(QRect(0, band, w, 3), kAmber);

    p.drawImage(QRect(12, 6, 56, 56), icon(56));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(30);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(84, 4, w - 90, 36), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Fenwald"));
    font.setBold(false);
    font.setPixelSize(14);
    p.setFont(font);
    p.setPen(QColor(232, 222, 250));
    p.drawText(QRect(86, 38, w - 90, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Firmware for Veltrix scanners"));
    return image;
}

// The loader's picture, 36 x 36 (its place in the main window): the chip; busy, with an
// amber ring around it.
QImage loaderPicture(bool busy) {
    const int size = 36;
    QImage image = icon(size);
    if (!busy) return image;
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kAmber, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(1.5, 1.5, size - 3, size - 3), size * 0.18, size * 0.18);
    return image;
}

// The transfer component's picture, 32 x 32: two arrows, up and down, white; amber when busy.
QImage transferPicture(bool busy) {
    const int size = 32;
    return artwork::icon(size, QColor(40, 140, 150), QColor(16, 72, 84), [busy](QPainter& p) {
        const QColor colour = busy ? kAmber : QColor(Qt::white);
        auto arrow = [&](qreal x, bool up) {
            QPainterPath a;
            const qreal top = 6, bottom = 26, head = 8;
            const qreal tip = up ? top : bottom, base = up ? top + head : bottom - head;
            a.moveTo(x, tip);
            a.lineTo(x + 5, base);
            a.lineTo(x + 2, base);
            a.lineTo(x + 2, up ? bottom : top);
            a.lineTo(x - 2, up ? bottom : top);
            a.lineTo(x - 2, base);
            a.lineTo(x - 5, base);
            a.closeSubpath();
            p.drawPath(a);
        };
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        arrow(11, true);
        arrow(21, false);
    });
}

}  // namespace

int main(int argc, char** argv) {
    return artwork::writeArtwork(
        argc, argv, "fenwald_draw_artwork", icon, aboutBitmap, [](const QDir& out) {
            return loaderPicture(false).save(out.filePath(QStringLiteral("loader_idle.png"))) &&
                   loaderPicture(true).save(out.filePath(QStringLiteral("loader_busy.png"))) &&
                   transferPicture(false).save(out.filePath(QStringLiteral("transfer_idle.png"))) &&
                   transferPicture(true).save(out.filePath(QStringLiteral("transfer_busy.png")));
        });
}
