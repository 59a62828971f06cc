#include "picture/ui/engine_message_boxes.h"

#include <cstdio>

#include "picture/ui/gui_call_bridge.h"
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

EngineMessageBoxes::EngineMessageBoxes(GuiCallBridge& bridge, QWidget* owner) {
    QPointer<QWidget> parent(owner);
    previous_ = picture::SetMessageHandler([&bridge, parent](const picture::Message& m) {
        bool shown = bridge.Call([&] {
            dialogs::ShowMessageBox(dialogs::MessageBoxRequest{parent.data(), QString::fromStdString(m.text),
                                                               QString::fromStdString(m.caption), iconFor(m.icon),
                                                               QMessageBox::Ok, m.topmost});
        });
        if (!shown) std::fprintf(stderr, "%s\n", m.text.c_str());
    });
}

EngineMessageBoxes::~EngineMessageBoxes() { picture::SetMessageHandler(std::move(previous_)); }

}  // namespace pictavo
