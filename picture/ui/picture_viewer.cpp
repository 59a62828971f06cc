#include "picture/ui/picture_viewer.h"

#include <QFile>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <algorithm>

#include "picture/engine/picture_files.h"
#include "platform/folders.h"
#include "serial/ui/dialog_seams.h"
#include "ui_picture_viewer.h"

namespace {

// A settings file may hold any window; the viewer stays a window a screen can show.
constexpr int kSideLimit = 4096;
constexpr int kMarginWidth = 10, kMarginHeight = 20;

// What the window frame adds around the client area; nothing until the frame is known.
QSize frameOf(const QWidget& w) {
    return w.frameGeometry().size() - w.size();
}
bool known(QSize frame) {
    return frame.width() > 0 || frame.height() > 0;
}

// The picture at the size the viewer was asked for; it grows with the window beyond that.
class Canvas : public QWidget {
public:
    Canvas(const CViewPicture& picture, QWidget* parent) : QWidget(parent), picture_(picture) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        picture_.Render(painter, rect());
    }

private:
    const CViewPicture& picture_;
};

}  // namespace

bool CViewPicture::Load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    image_ = QImage();
    image_.loadFromData(file.readAll());
    return true;
}

void CViewPicture::Render(QPainter& painter, const QRect& target) const {
    if (image_.isNull()) return;
    QRect to = target.isEmpty() ? QRect(target.topLeft(), image_.size()) : target;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(to, image_);
}

CPictureViewer::CPictureViewer(const pictavo::PictureSettings& settings,
                               const std::string& tempFile, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CPictureViewer>()), tempFile_(tempFile) {
    ui_->setupUi(this);
    // Buttons of one width, narrow enough to leave gaps between them around the middle.
    for (QPushButton* b : {okButton(), saveButton(), sizeButton()})
        b->setFixedSize(kButtonWidth, b->sizeHint().height());
    connect(okButton(), &QPushButton::clicked, this, &QDialog::accept);
    connect(saveButton(), &QPushButton::clicked, this, &CPictureViewer::OnSave);
    connect(sizeButton(), &QPushButton::clicked, this, &CPictureViewer::OnToggleSize);

    picture_.Load(QString::fromStdString(tempFile_));
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    canvas_ = new Canvas(picture_, scroll_);
    scroll_->setWidget(canvas_);
    for (QPushButton* b : {okButton(), saveButton(), sizeButton()}) b->raise();
    SetWantedSize(OpeningSize(settings));
    LayOutButtons();
}

CPictureViewer::~CPictureViewer() = default;

QPushButton* CPictureViewer::okButton() const {
    return ui_->okButton;
}
QPushButton* CPictureViewer::saveButton() const {
    return ui_->saveButton;
}
QPushButton* CPictureViewer::sizeButton() const {
    return ui_->sizeButton;
}

QSize CPictureViewer::OpeningSize(const pictavo::PictureSettings& s) {
    int width = std::clamp(s.endx - s.startx + 1, 1, kSideLimit);
    int height = std::clamp(s.endy - s.starty + 1, 1, kSideLimit);
    switch (s.scale) {
        case pictavo::kScale25:
            width >>= 2;
            height >>= 2;
            break;
        case pictavo::kScale50:
            width >>= 1;
            height >>= 1;
            break;
        case pictavo::kScale75:
            width = width * 3 / 4;
            height = height * 3 / 4;
            break;
        default:
            break;
    }
    return {width + kMarginWidth, height + kMarginHeight};
}

void CPictureViewer::SetWantedSize(QSize size) {
    wanted_ = size;
    canvas_->setMinimumSize(size);
    FitToScreen();
}

void CPictureViewer::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    FitOnceTheFrameIsKnown();
}

void CPictureViewer::moveEvent(QMoveEvent* e) {
    QDialog::moveEvent(e);
    if (isVisible()) FitOnceTheFrameIsKnown();
}

void CPictureViewer::FitOnceTheFrameIsKnown() {
    if (fittedWithFrame_ || !known(frameOf(*this))) return;
    fittedWithFrame_ = true;
    FitToScreen();
}

void CPictureViewer::FitToScreen() {
    const QSize size = wanted_;
    QScreen* s = parentWidget() ? parentWidget()->screen() : screen();
    const QRect free = s ? s->availableGeometry() : QRect(QPoint(0, 0), size);
    // The window frame counts against the free area too.
    const QSize frame = frameOf(*this);
    resize(size.boundedTo(free.size() - frame));
    // Over the main window, where the user looked; never beyond the screen's free area.
    QPoint centre =
        parentWidget() ? parentWidget()->window()->frameGeometry().center() : free.center();
    QRect placed(QPoint(0, 0), this->size() + frame);
    placed.moveCenter(centre);
    placed.moveLeft(std::clamp(placed.left(), free.left(),
                               std::max(free.left(), free.right() - placed.width() + 1)));
    placed.moveTop(std::clamp(placed.top(), free.top(),
                              std::max(free.top(), free.bottom() - placed.height() + 1)));
    move(placed.topLeft());
}

void CPictureViewer::LayOutButtons() {
    const int w = width();
    okButton()->move(w / 2 - okButton()->width() - kButtonGap, kButtonTop);
    saveButton()->move((w - saveButton()->width()) / 2, kButtonTop);
    sizeButton()->move(w / 2 + kButtonGap, kButtonTop);
}

void CPictureViewer::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    scroll_->setGeometry(rect());
    LayOutButtons();
}

void CPictureViewer::OnToggleSize() {
    // The text names the size the next press gives.
    if (sizeButton()->text() == QLatin1String("100 %")) {
        sizeButton()->setText(QStringLiteral("50 %"));
        SetWantedSize(kFullSize);
    } else {
        sizeButton()->setText(QStringLiteral("100 %"));
        SetWantedSize(kHalfSize);
    }
}

void CPictureViewer::OnSave() {
    const bool bmp = pictavo::isBmpFile(tempFile_);
    auto chosen = serial::ui::askFileName(
        {.mode = serial::ui::FileDialogRequest::Mode::Save,
         .parent = this,
         .caption = QStringLiteral("Save Picture"),
         .proposedPath = {},
         .filter = bmp ? QStringLiteral("BMP files (*.bmp);;All files (*)")
                       : QStringLiteral("JPEG files (*.jpg);;All files (*)"),
         .defaultSuffix = {}});
    if (!chosen || chosen->isEmpty()) return;
    const std::string chosenPath = chosen->toStdString();
    const std::string name = pictavo::saveNameFor(chosenPath, tempFile_);
    // The file dialog asked about the name as typed; the extension added here names another
    // file, which must not be replaced without asking either.
    if (name != chosenPath && platform::fileExists(name)) {
        auto answer = serial::ui::showMessageBox(
            this,
            QStringLiteral("%1 already exists.\nDo you want to replace it?")
                .arg(QString::fromStdString(platform::fileNameOf(name))),
            QStringLiteral("Save Picture"), QMessageBox::Warning,
            QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes) return;
    }
    pictavo::savePictureCopy(tempFile_, chosenPath);
}
