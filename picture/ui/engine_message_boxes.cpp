#include "picture/ui/engine_message_boxes.h"

#include "serial/ui/dialog_seams.h"

namespace pictavo::ui {

namespace {

QMessageBox::Icon iconFor(pictavo::MessageIcon icon) {
    switch (icon) {
        case pictavo::MessageIcon::Error:
            return QMessageBox::Critical;
        case pictavo::MessageIcon::Information:
            return QMessageBox::Information;
        case pictavo::MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void showMessageBox(QWidget* parent, const pictavo::Message& m) {
    serial::ui::showMessageBox(serial::ui::MessageBoxRequest{
        parent, QString::fromStdString(m.text), QString::fromStdString(m.caption), iconFor(m.icon),
        QMessageBox::Ok, m.topmost});
}

EngineMessageBoxes::EngineMessageBoxes(QWidget* owner) {
    QPointer<QWidget> parent(owner);
    previous_ = pictavo::setMessageHandler(
        [parent](const pictavo::Message& m) { showMessageBox(parent.data(), m); });
}

EngineMessageBoxes::~EngineMessageBoxes() {
    pictavo::setMessageHandler(std::move(previous_));
}

}  // namespace pictavo::ui
