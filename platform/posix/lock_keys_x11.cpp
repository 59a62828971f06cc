#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdlib>

#include "platform/lock_keys.h"

namespace platform {

namespace {

struct KeyInfo {
    KeySym sym;
    const char* indicator;
};

KeyInfo infoOf(LockKey key) {
    switch (key) {
        case LockKey::NumLock:
            return {XK_Num_Lock, "Num Lock"};
        case LockKey::CapsLock:
            return {XK_Caps_Lock, "Caps Lock"};
        case LockKey::ScrollLock:
            return {XK_Scroll_Lock, "Scroll Lock"};
    }
    return {XK_Num_Lock, "Num Lock"};
}

class X11LockKeys final : public LockKeys {
public:
    explicit X11LockKeys(Display* d) : display_(d) {}
    ~X11LockKeys() override {
        if (display_) XCloseDisplay(display_);
    }
    bool available() const override { return display_ != nullptr; }

    bool press(LockKey key) override {
        if (!display_) return false;
        KeyCode code = XKeysymToKeycode(display_, infoOf(key).sym);
        if (code == 0) return false;
        bool ok = XTestFakeKeyEvent(display_, code, True, CurrentTime) &&
                  XTestFakeKeyEvent(display_, code, False, CurrentTime);
        XSync(display_, False);
        return ok;
    }

    std::optional<bool> state(LockKey key) override {
        if (!display_) return std::nullopt;
        Atom atom = XInternAtom(display_, infoOf(key).indicator, False);
        Bool on = False;
        if (!XkbGetNamedIndicator(display_, atom, nullptr, &on, nullptr, nullptr))
            return std::nullopt;
        return on == True;
    }

private:
    Display* display_;
};

}  // namespace

std::unique_ptr<LockKeys> systemLockKeys() {
    Display* d = nullptr;
    if (const char* name = std::getenv("DISPLAY"); name && *name) {
        d = XOpenDisplay(nullptr);
        int event, error, major, minor;
        if (d && !XTestQueryExtension(d, &event, &error, &major, &minor)) {
            XCloseDisplay(d);
            d = nullptr;
        }
    }
    return std::make_unique<X11LockKeys>(d);
}

}  // namespace platform
