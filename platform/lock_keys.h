// The keyboard's lock keys (Num Lock, Caps Lock, Scroll Lock): pressing one as if typed, and
// reading its indicator. On X11 the keys are injected with XTest; without a display they are
// unavailable and every call says so by its result.
//
// Threads: one object per thread.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class LockKey { NumLock, CapsLock, ScrollLock };

class LockKeys {
public:
    virtual ~LockKeys() = default;
    virtual bool available() const = 0;
    // When not available, why, for a message ("DISPLAY is not set"); empty when available.
    virtual std::string whyUnavailable() const { return {}; }
    // A press and a release of the key, which toggles its lock state. False when the keyboard
    // cannot be reached or has no such key.
    virtual bool press(LockKey key) = 0;
    // The key's lock indicator; nothing when it cannot be read.
    virtual std::optional<bool> state(LockKey key) = 0;
};

// The system's keyboard: X11 when a display is present, else one that is unavailable.
std::unique_ptr<LockKeys> systemLockKeys();

// Notes every press in order ("NumLock", "CapsLock", ...) and keeps its own lock states.
class RecordingLockKeys final : public LockKeys {
public:
    bool available() const override { return true; }
    bool press(LockKey key) override {
        journal.push_back(name(key));
        states[static_cast<int>(key)] = !states[static_cast<int>(key)];
        return true;
    }
    std::optional<bool> state(LockKey key) override { return states[static_cast<int>(key)]; }
    static std::string name(LockKey key) {
        return key == LockKey::NumLock    ? "NumLock"
               : key == LockKey::CapsLock ? "CapsLock"
                                          : "ScrollLock";
    }

    std::vector<std::string> journal;
    bool states[3] = {};
};

}  // namespace platform
