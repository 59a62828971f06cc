#include "picture/ui/engine_message_boxes.h"

#include "serial/ui/dialog_seams.h"

namespace pictavo {

namespace {

QMessageBox::Icon iconFor(picture::MessageIcon icon) {
    switch (icon) {
        case picture::MessageIcon::Error: return QMessageBox::Critical;
        case picture::MessageIcon::Information: return QMessageBox::Information;
        case picture::MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void ShowMessageBox(QWidget* parent, const picture::Message& m) {
    serial::ui::showMessageBox(serial::ui::MessageBoxRequest{parent, QString::fromStdString(m.text),
                                                       QString::fromStdString(m.caption), iconFor(m.icon),
                                                       QMessageBox::Ok, m.topmost});
}

EngineMessageBoxes::EngineMessageBoxes(QWidget* owner) {
    QPointer<QWidget> parent(owner);
    previous_ = picture::SetMessageHandler([parent](const picture::Message& m) { ShowMessageBox(parent.data(), m); });
}

EngineMessageBoxes::~EngineMessageBoxes() { picture::SetMessageHandler(std::move(previous_)); }

}  // namespace pictavo
