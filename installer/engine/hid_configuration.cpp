#include "installer/engine/hid_configuration.h"

namespace fenwald {

namespace {

using platform::LockKey;

// One message through the indicators. tracked_ is what each indicator shows now, as this side
// switched it; before_ what it showed at the start.
class IndicatorSender {
public:
    IndicatorSender(platform::LockKeys& keys, const HidConfigurationOptions& options)
        : keys_(keys), options_(options) {}

    // Notes the indicators and switches off those that are on.
    bool start() {
        for (LockKey key : {LockKey::NumLock, LockKey::CapsLock, LockKey::ScrollLock}) {
            // One that cannot be read is taken as off: it is then neither switched nor restored.
            before(key) = tracked(key) = keys_.state(key).value_or(false);
            if (tracked(key) && !toggle(key)) return false;
        }
        return true;
    }

    // False when cancelled or a key failed.
    bool sendByte(std::uint8_t byte) {
        for (int shift = 6; shift >= 0; shift -= 2) {
            if (cancelled()) return false;
            const bool high = (byte >> (shift + 1)) & 1, low = (byte >> shift) & 1;
            if (tracked(LockKey::CapsLock) != high && !toggle(LockKey::CapsLock)) return false;
            if (tracked(LockKey::NumLock) != low && !toggle(LockKey::NumLock)) return false;
            if (!wait() || !toggle(LockKey::ScrollLock) || !wait() || !toggle(LockKey::ScrollLock))
                return false;
        }
        return true;
    }

    void restore() {
        for (LockKey key : {LockKey::CapsLock, LockKey::NumLock, LockKey::ScrollLock})
            if (tracked(key) != before(key)) toggle(key);
    }

    bool cancelled() const { return options_.cancel && options_.cancel->isSet(); }
    bool keyFailed() const { return keyFailed_; }

private:
    bool& tracked(LockKey key) { return tracked_[static_cast<int>(key)]; }
    bool& before(LockKey key) { return before_[static_cast<int>(key)]; }

    bool toggle(LockKey key) {
        if (!keys_.press(key)) {
            keyFailed_ = true;
            return false;
        }
        tracked(key) = !tracked(key);
        return true;
    }

    bool wait() {
        if (options_.pause)
            options_.pause(kIndicatorStep);
        else
            platform::pauseFor(options_.cancel, kIndicatorStep);
        return !cancelled();
    }

    platform::LockKeys& keys_;
    const HidConfigurationOptions& options_;
    bool tracked_[3] = {};
    bool before_[3] = {};
    bool keyFailed_ = false;
};

ConfigurationMessage errorMessage(std::string_view text) {
    return {std::string(kErrorCaption), std::string(text), platform::Report::Severity::Error};
}

}  // namespace

HidConfigurationResult SendConfigurationHid(platform::LockKeys& keys,
                                            std::string_view configuration, bool makePermanent,
                                            const HidConfigurationOptions& options) {
    if (!keys.available()) return {HidOutcome::Unavailable, 0, errorMessage(kHidUnavailable)};
    if (configuration.empty()) return {HidOutcome::Empty, 0, errorMessage(kConfigurationEmpty)};
    const std::string message = configurationCommand(configuration, makePermanent);
    if (options.progress) options.progress(0, message.size());

    IndicatorSender sender(keys, options);
    std::size_t sent = 0;
    if (sender.start()) {
        for (char byte : message) {
            if (!sender.sendByte(static_cast<std::uint8_t>(byte))) break;
            ++sent;
            if (options.progress) options.progress(sent, message.size());
        }
    }
    sender.restore();
    if (sender.keyFailed()) return {HidOutcome::KeysFailed, sent, errorMessage(kHidKeysFailed)};
    if (sent < message.size()) return {HidOutcome::Cancelled, sent, std::nullopt};
    return {HidOutcome::Sent, sent, std::nullopt};
}

}  // namespace fenwald
