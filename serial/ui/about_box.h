// AboutBox, what every program's about box does: the program icon as its window icon, the
// program's bitmap, OK closes it, and its size.
//
// A program's box derives from it, sets up its template (a Designer form whose OK button is
// "okButton" and whose label for the bitmap, if it has one, is "bitmapLabel"), gives the
// texts their looks, and then calls finishSetUp(form):
//
//     FenwaldAbout::FenwaldAbout(QWidget* parent) : AboutBox(fenwald::artwork(), parent), ui_(...)
//     {
//         ui_->setupUi(this);
//         ui_->versionLabel->setText(...);
//         finishSetUp(*ui_);
//     }
#pragma once

#include <QDialog>
#include <QPixmap>
#include <optional>

class QAbstractButton;
class QLabel;

namespace serial::ui {

class ProgramArtwork;

class AboutBox : public QDialog {
    Q_OBJECT
public:
    // The program's bitmap, as the box shows it.
    const QPixmap& bitmap() const { return bitmap_; }

protected:
    // Fixed to what the contents need once they have their looks, or the size the template
    // gives (and resizable).
    enum class Size { FixedToContents, AsTemplate };
    // Where a template without a label for the bitmap has it painted: across the top, margin
    // pixels in from either side.
    struct Band {
        int margin = 0, top = 0, height = 0;
    };

    AboutBox(const ProgramArtwork& artwork, QWidget* parent);

    // The bitmap shown in the form's bitmapLabel.
    template <class Form>
    void finishSetUp(Form& form, Size size = Size::FixedToContents) {
        finishSetUp(form.okButton, form.bitmapLabel, std::nullopt, size);
    }
    // The bitmap painted in band.
    template <class Form>
    void finishSetUp(Form& form, Band band, Size size = Size::FixedToContents) {
        finishSetUp(form.okButton, nullptr, band, size);
    }

    void paintEvent(QPaintEvent* e) override;

private:
    void finishSetUp(QAbstractButton* ok, QLabel* bitmapLabel, std::optional<Band> band, Size size);

    QPixmap bitmap_;
    std::optional<Band> band_;
};

}  // namespace serial::ui
