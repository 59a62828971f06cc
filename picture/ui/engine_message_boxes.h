// Shows the picture tool's messages as message boxes through the windows' seam
// (serial/ui/dialog_seams.h): those of the Qt-free helpers (picture/engine/messages.h), for as
// long as the object lives, and the capture engine's message reports (ShowReport). GUI thread
// only; the engine's threads speak through its report queue.
#pragma once

#include <QPointer>
#include <QWidget>

#include "picture/engine/messages.h"

namespace pictavo::ui {

void showMessageBox(QWidget* parent, const pictavo::Message& message);

class EngineMessageBoxes {
public:
    // Installs itself as the message handler; owner is the boxes' parent while it lives.
    explicit EngineMessageBoxes(QWidget* owner);
    // Puts back the handler it replaced.
    ~EngineMessageBoxes();
    EngineMessageBoxes(const EngineMessageBoxes&) = delete;
    EngineMessageBoxes& operator=(const EngineMessageBoxes&) = delete;

private:
    pictavo::MessageHandler previous_;
};

}  // namespace pictavo::ui
