// The picture viewer: a modal dialog that shows the received picture stretched over its whole
// client area, with "OK", "Save" and "100 %" along the top, and saves the picture byte for byte
// as the scanner sent it. It never opens larger than the screen's free area: a picture larger
// than that keeps its size and scrolls inside the window. It opens centred over its parent.
//
// CViewPicture holds the decoded picture. The viewer decodes the temporary picture file (a
// JPEG stream, or the grey BMP file of an uncompressed picture) when it opens; the file does
// not change while the viewer is open, since the next picture can be asked for only once the
// modal viewer has closed.
#pragma once

#include <QDialog>
#include <QImage>
#include <memory>
#include <string>

#include "picture/engine/picture_settings.h"

class QPainter;
class QPushButton;
class QScrollArea;

namespace Ui {
class CPictureViewer;
}

class CViewPicture {
public:
    // False when the file cannot be read; true otherwise, whether or not it could be decoded
    // (IsNull tells).
    bool Load(const QString& path);
    bool IsNull() const { return image_.isNull(); }
    // The picture's size in pixels; (0, 0) when none is held.
    QSize GetSize() const { return image_.size(); }
    // Draws the whole picture stretched into target; an empty target draws it at its own size.
    void Render(QPainter& painter, const QRect& target) const;

private:
    QImage image_;
};

class CPictureViewer : public QDialog {
    Q_OBJECT
public:
    static constexpr int kButtonTop = 10;
    static constexpr int kButtonGap = 40;
    static constexpr int kButtonWidth = 64;
    static inline const QSize kFullSize{1290, 1044};  // "100 %": the whole 1280 x 1024 picture
    static inline const QSize kHalfSize{650, 532};    // "50 %"

    // Reads the picture window and the initial scale of the settings and the picture from
    // tempFile.
    CPictureViewer(const pictavo::PictureSettings& settings, const std::string& tempFile,
                   QWidget* parent = nullptr);
    ~CPictureViewer() override;

    // Width and height of the picture window, scaled by the scale code (104 a quarter, 105 a
    // half, 106 three quarters, 107 and others whole), plus 10 by 20 for the buttons' margin.
    static QSize OpeningSize(const pictavo::PictureSettings& settings);

    const CViewPicture& picture() const { return picture_; }
    QPushButton* okButton() const;
    QPushButton* saveButton() const;
    QPushButton* sizeButton() const;

public slots:
    void OnSave();
    void OnToggleSize();

    // The size the picture asks for (OpeningSize, or a size button's), before the screen
    // bounds it.
    QSize WantedSize() const { return wanted_; }

protected:
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

private:
    void LayOutButtons();
    // Takes the size, bounded by the screen's free area less the window frame, and moves over
    // the parent.
    void SetWantedSize(QSize size);
    void FitToScreen();
    // A window manager adds its frame (the title bar) only once the window is on screen; the
    // first time it is known the window is fitted again, so nothing falls off the screen.
    void FitOnceTheFrameIsKnown();

    std::unique_ptr<Ui::CPictureViewer> ui_;
    std::string tempFile_;
    CViewPicture picture_;
    QScrollArea* scroll_ = nullptr;
    QWidget* canvas_ = nullptr;
    QSize wanted_;
    bool fittedWithFrame_ = false;
};
