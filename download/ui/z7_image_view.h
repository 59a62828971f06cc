// CZ7ImageView, the download tool's second view: a small form with an input field, a result
// field and the " ZZ " label in a black frame. When the input holds a line feed after its
// first character the result field shows "OK", and it keeps showing it until the user edits
// that field.
//
// The input field is a one-line-high plain-text field rather than a line edit, so it can hold a
// line feed: pasted text keeps its line breaks, and Enter (as a keyboard-wedge scanner sends
// after its data) types one. It scrolls sideways as a single-line field does.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>

class QLineEdit;
class QPlainTextEdit;

namespace Ui {
class CZ7ImageView;
}

class CZ7ImageView : public QWidget {
    Q_OBJECT
public:
    explicit CZ7ImageView(QWidget* parent = nullptr);
    ~CZ7ImageView() override;

    QPlainTextEdit* inputField() const;
    QLineEdit* resultField() const;
    const QString& InputText() const { return input_; }
    const QString& ResultText() const { return result_; }

private:
    void OnInputChanged();
    void OnResultChanged();

    std::unique_ptr<Ui::CZ7ImageView> ui_;
    QString input_;
    QString result_;
};
