#include "download/ui/z7_image_view.h"

#include <QLineEdit>
#include <QPlainTextEdit>

#include "ui_z7_image_view.h"

CZ7ImageView::CZ7ImageView(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::CZ7ImageView>()) {
    ui_->setupUi(this);
    // One line of text fits the field's height.
    inputField()->document()->setDocumentMargin(2);
    connect(inputField(), &QPlainTextEdit::textChanged, this, &CZ7ImageView::OnInputChanged);
    connect(resultField(), &QLineEdit::textChanged, this, &CZ7ImageView::OnResultChanged);
}

CZ7ImageView::~CZ7ImageView() = default;

QPlainTextEdit* CZ7ImageView::inputField() const {
    return ui_->inputField;
}
QLineEdit* CZ7ImageView::resultField() const {
    return ui_->resultField;
}

void CZ7ImageView::OnInputChanged() {
    input_ = inputField()->toPlainText();
    result_ = resultField()->text();
    // A line feed as the very first character does not count.
    if (input_.indexOf(QLatin1Char('\n'), 1) < 0) return;
    result_ = QStringLiteral("OK");
    if (resultField()->text() != result_) resultField()->setText(result_);
}

void CZ7ImageView::OnResultChanged() {
    input_ = inputField()->toPlainText();
    result_ = resultField()->text();
}
