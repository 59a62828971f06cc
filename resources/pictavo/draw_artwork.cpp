// Draws the picture tool's artwork into PNG files: the program icon in six sizes and the
// about box's bitmap. Run by scripts/draw_artwork.sh; the PNG files are committed beside it.
//
//   pictavo_draw_artwork OUTPUT_FOLDER
#include <QPainter>
#include <algorithm>
#include <vector>

#include "resources/artwork_drawing.h"

namespace {

const QColor kBlue(0, 154, 205);
const QColor kDeepBlue(0, 86, 128);
const QColor kLaser(235, 40, 40);

// A viewfinder's four corner brackets around a barcode with the red scan line across it.
void drawViewfinder(QPainter& p, const QRectF& r, bool small) {
    const qreal w = r.width();
    const qreal pen = std::max<qreal>(1.0, w * 0.07);
    const qreal arm = w * 0.22;
    p.setPen(QPen(Qt::white, pen, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    const QRectF f = r.adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2);
    p.drawPolyline(QPolygonF(
        {QPointF(f.left(), f.top() + arm), f.topLeft(), QPointF(f.left() + arm, f.top())}));
    p.drawPolyline(QPolygonF(
        {QPointF(f.right() - arm, f.top()), f.topRight(), QPointF(f.right(), f.top() + arm)}));
    p.drawPolyline(QPolygonF({QPointF(f.left(), f.bottom() - arm), f.bottomLeft(),
                              QPointF(f.left() + arm, f.bottom())}));
    p.drawPolyline(QPolygonF({QPointF(f.right() - arm, f.bottom()), f.bottomRight(),
                              QPointF(f.right(), f.bottom() - arm)}));

    // Bars: widths in modules; fewer and wider when the icon is tiny.
    const std::vector<int> bars =
        small ? std::vector<int>{2, 1, 2, 1} : std::vector<int>{2, 1, 1, 3, 1, 2, 1, 1, 2};
    int modules = 0;
    for (std::size_t i = 0; i < bars.size(); ++i)
        modules += bars[i] + (i + 1 < bars.size() ? 1 : 0);
    const QRectF code = r.adjusted(w * 0.24, w * 0.26, -w * 0.24, -w * 0.26);
    const qreal module = code.width() / modules;
    qreal x = code.left();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (int b : bars) {
        p.drawRect(QRectF(x, code.top(), b * module, code.height()));
        x += (b + 1) * module;
    }
    p.setBrush(kLaser);
    const qreal laser = std::max<qreal>(1.0, w * 0.05);
    p.drawRect(QRectF(r.left() + w * 0.12, r.center().y() - laser / 2, w * 0.76, laser));
}

QImage icon(int size) {
    return artwork::icon(size, kBlue, kDeepBlue, [size](QPainter& p) {
        const qreal inset = size * (size <= 16 ? 0.14 : 0.16);
        drawViewfinder(p, QRectF(inset, inset, size - 2 * inset, size - 2 * inset), size <= 16);
    });
}

QImage aboutBitmap() {
    return artwork::aboutBitmap({
        .left = kDeepBlue,
        .right = kBlue,
        .texture =
            [](QPainter& p, int w, int h) {
                // Faint scan lines for texture.
                p.setPen(QPen(QColor(255, 255, 255, 22), 1));
                for (int y = 4; y < h; y += 6) p.drawLine(0, y, w, y);
            },
        .icon = icon(72),
        .name = QStringLiteral("Zoral Vision"),
        .line = QStringLiteral("Pictures from Veltrix 2D scanners"),
        .lineTop = 58,
        .lineColour = QColor(220, 240, 250),
    });
}

}  // namespace

int main(int argc, char** argv) {
    return artwork::writeArtwork(argc, argv, "pictavo_draw_artwork", icon, aboutBitmap);
}
