#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <string>
#include <utility>

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
    X11LockKeys(Display* d, std::string why) : display_(d), why_(std::move(why)) {}
    ~X11LockKeys() override {
        if (display_) XCloseDisplay(display_);
    }
    bool available() const override { return display_ != nullptr; }
    std::string whyUnavailable() const override { return display_ ? std::string() : why_; }

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
    std::string why_;
};

}  // namespace

std::unique_ptr<LockKeys> systemLockKeys() {
    const char* name = std::getenv("DISPLAY");
    // The lock keys are reached through X11 only (XWayland on a Wayland desktop).
    if (!name || !*name) {
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        return std::make_unique<X11LockKeys>(
            nullptr, wayland && *wayland ? "DISPLAY is not set; Wayland alone has no way in"
                                         : "DISPLAY is not set");
    }
    Display* d = XOpenDisplay(nullptr);
    if (!d)
        return std::make_unique<X11LockKeys>(nullptr,
                                             "display " + std::string(name) + " cannot be opened");
    int event, error, major, minor;
    if (!XTestQueryExtension(d, &event, &error, &major, &minor)) {
        XCloseDisplay(d);
        return std::make_unique<X11LockKeys>(nullptr, "the display has no XTest extension");
    }
    return std::make_unique<X11LockKeys>(d, std::string());
}

}  // namespace platform
