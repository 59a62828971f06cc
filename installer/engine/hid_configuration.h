// Sending a configuration to a scanner attached as a USB keyboard, through the keyboard's lock
// indicators, which the scanner watches: ESC, the configuration, "Z2" when it is to be kept, CR.
//
// The lock keys that are on are switched off first (Num Lock, Caps Lock, Scroll Lock). Each byte
// goes as four bit pairs from the most significant, (7,6) (5,4) (3,2) (1,0): Caps Lock takes the
// pair's higher bit and Num Lock its lower one, each switched only when it differs, then Scroll
// Lock is the clock: wait 100 ms, switch, wait 100 ms, switch. Afterwards every indicator is as
// it was before (also when cancelled or a key failed). There is no acknowledgement; a byte takes
// 800 ms.
//
// Threads: runs on any thread, which it blocks for the whole message, so a window runs it on a
// worker; the lock keys object belongs to that thread (platform/lock_keys.h). The cancel flag is
// read between steps and ends the waits early; progress is called on the sending thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

#include "installer/engine/configuration_file.h"
#include "platform/cancel_flag.h"
#include "platform/lock_keys.h"

namespace fenwald {

constexpr std::chrono::milliseconds kIndicatorStep{100};

constexpr std::string_view kHidUnavailable = "Function does not work on this Operating System.";
constexpr std::string_view kHidKeysFailed =
    "The keyboard's lock keys stopped answering: the configuration was not sent completely.";

struct HidConfigurationOptions {
    const platform::CancelFlag* cancel = nullptr;
    // Bytes of the message sent and its length: (0, n) first, then after every byte.
    std::function<void(std::size_t done, std::size_t total)> progress;
    // The 100 ms waits; when empty they sleep, ending early when the cancel flag is set.
    std::function<void(std::chrono::milliseconds)> pause;
};

enum class HidOutcome { Sent, Unavailable, Empty, Cancelled, KeysFailed };

struct HidConfigurationResult {
    HidOutcome outcome = HidOutcome::Sent;
    std::size_t bytesSent = 0;                    // of the whole message
    std::optional<ConfigurationMessage> message;  // none when sent or cancelled
};

HidConfigurationResult SendConfigurationHid(platform::LockKeys& keys,
                                            std::string_view configuration, bool makePermanent,
                                            const HidConfigurationOptions& options = {});

}  // namespace fenwald
