// Draws the picture tool's artwork into PNG files: the program icon in four sizes and the
// about box's bitmap. Run by scripts/draw_artwork.sh; the PNG files are committed beside it.
//
//   pictavo_draw_artwork OUTPUT_FOLDER
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

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
    p.drawPolyline(QPolygonF({QPointF(f.left(), f.top() + arm), f.topLeft(), QPointF(f.left() + arm, f.top())}));
    p.drawPolyline(QPolygonF({QPointF(f.right() - arm, f.top()), f.topRight(), QPointF(f.right(), f.top() + arm)}));
    p.drawPolyline(QPolygonF({QPointF(f.left(), f.bottom() - arm), f.bottomLeft(), QPointF(f.left() + arm, f.bottom())}));
    p.drawPolyline(QPolygonF({QPointF(f.right() - arm, f.bottom()), f.bottomRight(), QPointF(f.right(), f.bottom() - arm)}));

    // Bars: widths in modules; fewer and wider when the icon is tiny.
    const std::vector<int> bars = small ? std::vector<int>{2, 1, 2, 1} : std::vector<int>{2, 1, 1, 3, 1, 2, 1, 1, 2};
    int modules = 0;
    for (std::size_t i = 0; i < bars.size(); ++i) modules += bars[i] + (i + 1 < bars.size() ? 1 : 0);
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
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, size);
    g.setColorAt(0, kBlue);
    g.setColorAt(1, kDeepBlue);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    const qreal radius = size * 0.18;
    p.drawRoundedRect(QRectF(0, 0, size, size), radius, radius);
    const qreal inset = size * (size <= 16 ? 0.14 : 0.16);
    drawViewfinder(p, QRectF(inset, inset, size - 2 * inset, size - 2 * inset), size <= 16);
    return image;
}

QImage aboutBitmap() {
    const int w = 400, h = 100;
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, w, 0);
    g.setColorAt(0, kDeepBlue);
    g.setColorAt(1, kBlue);
    p.fillRect(image.rect(), g);

    // Faint scan lines for texture.
    p.setPen(QPen(QColor(255, 255, 255, 22), 1));
    for (int y = 4; y < h; y += 6) p.drawLine(0, y, w, y);

    p.drawImage(QRect(14, 14, 72, 72), icon(72));

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(34);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(104, 14, w - 110, 44), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Zoral Vision"));
    font.setBold(false);
    font.setPixelSize(15);
    p.setFont(font);
    p.setPen(QColor(220, 240, 250));
    p.drawText(QRect(106, 58, w - 110, 26), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Pictures from Veltrix 2D scanners"));
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: pictavo_draw_artwork OUTPUT_FOLDER\n");
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    bool ok = true;
    for (int size : {16, 32, 48, 64}) ok &= icon(size).save(out.filePath(QStringLiteral("icon_%1.png").arg(size)));
    ok &= aboutBitmap().save(out.filePath(QStringLiteral("about.png")));
    if (!ok) std::fprintf(stderr, "pictavo_draw_artwork: cannot write into %s\n", argv[1]);
    return ok ? 0 : 1;
}
