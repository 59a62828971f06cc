#include "serial/ui/about_box.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPainter>

#include "serial/ui/program_artwork.h"

namespace serial::ui {

AboutBox::AboutBox(const ProgramArtwork& artwork, QWidget* parent)
    : QDialog(parent), bitmap_(artwork.aboutBitmap()) {
    setWindowIcon(artwork.programIcon());
}

void AboutBox::finishSetUp(QAbstractButton* ok, QLabel* bitmapLabel, std::optional<Band> band,
                           Size size) {
    if (bitmapLabel) bitmapLabel->setPixmap(bitmap_);
    band_ = band;
    connect(ok, &QAbstractButton::clicked, this, &AboutBox::accept);
    if (size == Size::FixedToContents) setFixedSize(sizeHint());
}

void AboutBox::paintEvent(QPaintEvent* e) {
    QDialog::paintEvent(e);
    if (!band_) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRect(band_->margin, band_->top, width() - 2 * band_->margin, band_->height),
                       bitmap_);
}

}  // namespace serial::ui
