// Shows the messages of the picture tool's Qt-free parts (picture/engine/messages.h) as
// message boxes through the windows' seam (serial/ui/dialog_seams.h), on the GUI thread whichever
// thread asks; the asking thread waits until the box is closed. A message the bridge refuses
// (the program is closing) goes to standard error instead.
#pragma once

#include <QPointer>
#include <QWidget>

#include "picture/engine/messages.h"

namespace pictavo {

class GuiCallBridge;

class EngineMessageBoxes {
public:
    // Installs itself as the message handler; owner is the boxes' parent while it lives.
    EngineMessageBoxes(GuiCallBridge& bridge, QWidget* owner);
    // Puts back the handler it replaced.
    ~EngineMessageBoxes();
    EngineMessageBoxes(const EngineMessageBoxes&) = delete;
    EngineMessageBoxes& operator=(const EngineMessageBoxes&) = delete;

private:
    picture::MessageHandler previous_;
};

}  // namespace pictavo
