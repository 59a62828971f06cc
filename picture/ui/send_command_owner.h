// What the send-command window needs of the window that opens it: the settings it reads and
// changes, the engine it sends through, and the main window's picture and settings commands.
// The main dialog is the one owner; it outlives the window, which it opens modally. The names
// are the main dialog's own, so its members are the implementation.
#pragma once

class CImageVideo;
class QWidget;

namespace pictavo {
struct PictureSettings;
}

namespace pictavo::ui {

class SendCommandOwner {
public:
    // The send-command window's parent.
    virtual QWidget* ownerWindow() = 0;
    virtual pictavo::PictureSettings& Settings() = 0;
    virtual void SaveSettings() = 0;
    virtual void OnTakePicture() = 0;
    // Makes the engine ready for a command; false, after telling the user, when it cannot be.
    virtual bool PrepareForCommand() = 0;
    // The engine PrepareForCommand made ready; none before.
    virtual CImageVideo* Engine() const = 0;

protected:
    ~SendCommandOwner() = default;
};

}  // namespace pictavo::ui
