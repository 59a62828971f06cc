// Draws the download tool's artwork into PNG files: the program icon in six sizes, the about
// box's bitmap and the toolbar buttons (Open, Save, Cut, Copy, Paste, About) at 16 and 32
// pixels. Run by scripts/draw_artwork.sh; the PNG files are committed beside it.
//
//   kolvane_draw_artwork OUTPUT_FOLDER
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <functional>
#include <utility>

#include "resources/artwork_drawing.h"

namespace {

const QColor kGreen(0, 150, 110);
const QColor kDeepGreen(0, 82, 66);
const QColor kAmber(255, 190, 40);
const QColor kOutline(60, 60, 60);

// A chip: a dark body with pins on both sides.
void drawChip(QPainter& p, const QRectF& body, qreal pin) {
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const int pins = 3;
    for (int i = 0; i < pins; ++i) {
        const qreal y = body.top() + body.height() * (i + 0.5) / pins - pin / 2;
        p.drawRect(QRectF(body.left() - pin * 1.4, y, pin * 1.4, pin));
        p.drawRect(QRectF(body.right(), y, pin * 1.4, pin));
    }
    p.setBrush(QColor(30, 40, 38));
    p.setPen(QPen(Qt::white, std::max<qreal>(1.0, pin * 0.6)));
    p.drawRoundedRect(body, pin * 0.6, pin * 0.6);
}

// A downward arrow from top to the tip.
void drawArrow(QPainter& p, QPointF tip, qreal width, qreal length, const QColor& colour) {
    const qreal shaft = width * 0.42;
    const qreal head = width * 0.55;
    QPainterPath path;
    path.moveTo(tip.x() - shaft / 2, tip.y() - length);
    path.lineTo(tip.x() + shaft / 2, tip.y() - length);
    path.lineTo(tip.x() + shaft / 2, tip.y() - head);
    path.lineTo(tip.x() + width / 2, tip.y() - head);
    path.lineTo(tip);
    path.lineTo(tip.x() - width / 2, tip.y() - head);
    path.lineTo(tip.x() - shaft / 2, tip.y() - head);
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(path);
}

QImage icon(int size) {
    return artwork::icon(size, kGreen, kDeepGreen, [size](QPainter& p) {
        const qreal s = size;
        drawChip(p, QRectF(s * 0.30, s * 0.56, s * 0.40, s * 0.30), std::max<qreal>(1.0, s * 0.06));
        drawArrow(p, QPointF(s * 0.5, s * 0.52), s * 0.46, s * 0.42, kAmber);
    });
}

QImage aboutBitmap() {
    return artwork::aboutBitmap({
        .left = kDeepGreen,
        .right = kGreen,
        .texture =
            [](QPainter& p, int, int) {
                // A faint row of blocks along the bottom, as frames on their way to the device.
                p.setPen(Qt::NoPen);
                p.setBrush(QColor(255, 255, 255, 30));
                for (int col = 0; col < 12; ++col) p.drawRect(QRectF(106 + col * 24, 88, 18, 6));
            },
        .icon = icon(72),
        .name = QStringLiteral("Kolvane"),
        .line = QStringLiteral("Firmware downloads to Z7 devices"),
        .lineTop = 56,
        .lineColour = QColor(215, 245, 235),
    });
}

// ---- toolbar buttons, drawn on a 16-unit grid and scaled ----

using Drawing = std::function<void(QPainter&)>;

QImage button(int size, const Drawing& draw) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    draw(p);
    return image;
}

QPen outline() {
    return QPen(kOutline, 0.9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void page(QPainter& p, const QRectF& r) {
    const qreal fold = 3;
    QPainterPath path;
    path.moveTo(r.topLeft());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.bottomRight());
    path.lineTo(r.bottomLeft());
    path.closeSubpath();
    p.setPen(outline());
    p.setBrush(Qt::white);
    p.drawPath(path);
    p.setPen(QPen(QColor(150, 160, 170), 0.8));
    for (qreal y = r.top() + 3.5; y < r.bottom() - 1.5; y += 2)
        p.drawLine(QPointF(r.left() + 1.8, y), QPointF(r.right() - 1.8, y));
}

void drawOpen(QPainter& p) {
    // The folder's back with its tab, then its front tilted open.
    QPainterPath back;
    back.moveTo(1.5, 13.5);
    back.lineTo(1.5, 3.5);
    back.lineTo(5.5, 3.5);
    back.lineTo(6.8, 5);
    back.lineTo(12.5, 5);
    back.lineTo(12.5, 13.5);
    back.closeSubpath();
    p.setPen(outline());
    p.setBrush(QColor(214, 160, 30));
    p.drawPath(back);
    QPainterPath front;
    front.moveTo(1.5, 13.5);
    front.lineTo(4.2, 7.5);
    front.lineTo(15, 7.5);
    front.lineTo(12.5, 13.5);
    front.closeSubpath();
    p.setBrush(kAmber);
    p.drawPath(front);
}

void drawSave(QPainter& p) {
    QPainterPath disk;
    disk.moveTo(1.5, 1.5);
    disk.lineTo(12.5, 1.5);
    disk.lineTo(14.5, 3.5);
    disk.lineTo(14.5, 14.5);
    disk.lineTo(1.5, 14.5);
    disk.closeSubpath();
    p.setPen(outline());
    p.setBrush(QColor(40, 90, 170));
    p.drawPath(disk);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 1.5, 8, 5));  // label
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 90, 170));
    p.drawRect(QRectF(9.2, 2.4, 1.8, 3.2));  // shutter window
    p.setPen(outline());
    p.setBrush(QColor(210, 215, 225));
    p.drawRect(QRectF(4, 9, 8, 5.5));  // metal shutter
}

void drawCut(QPainter& p) {
    // Two blades crossing above two finger rings.
    p.setPen(QPen(QColor(90, 95, 105), 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 1.5), QPointF(10.2, 10));
    p.drawLine(QPointF(11, 1.5), QPointF(5.8, 10));
    p.setPen(QPen(QColor(200, 30, 30), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(4.5, 12), 2.4, 2.4);
    p.drawEllipse(QPointF(11.5, 12), 2.4, 2.4);
}

void drawCopy(QPainter& p) {
    page(p, QRectF(1.5, 1.5, 8.5, 10));
    page(p, QRectF(6, 4.5, 8.5, 10));
}

void drawPaste(QPainter& p) {
    p.setPen(outline());
    p.setBrush(QColor(170, 110, 60));
    p.drawRoundedRect(QRectF(1.5, 2.5, 10, 12), 1, 1);
    p.setBrush(QColor(200, 205, 210));
    p.drawRoundedRect(QRectF(4, 1, 5, 3), 0.8, 0.8);  // clip
    page(p, QRectF(6.5, 6, 8, 9));
}

void drawAbout(QPainter& p) {
    p.setPen(QPen(QColor(20, 70, 150), 0.9));
    QRadialGradient g(QPointF(6, 5), 9);
    g.setColorAt(0, QColor(110, 170, 240));
    g.setColorAt(1, QColor(30, 95, 190));
    p.setBrush(g);
    p.drawEllipse(QPointF(8, 8), 6.8, 6.8);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(1, 1.2, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
}

}  // namespace

int main(int argc, char** argv) {
    return artwork::writeArtwork(
        argc, argv, "kolvane_draw_artwork", icon, aboutBitmap, [](const QDir& out) {
            const std::pair<const char*, Drawing> buttons[] = {
                {"open", drawOpen}, {"save", drawSave},   {"cut", drawCut},
                {"copy", drawCopy}, {"paste", drawPaste}, {"about", drawAbout},
            };
            bool ok = true;
            for (const auto& [name, draw] : buttons)
                for (int size : {16, 32})
                    ok &= button(size, draw)
                              .save(out.filePath(QStringLiteral("tool_%1_%2.png")
                                                     .arg(QLatin1String(name))
                                                     .arg(size)));
            return ok;
        });
}
