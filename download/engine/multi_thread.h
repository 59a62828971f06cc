// CMultiThread: a worker thread with its own message queue, in the shape of a toolkit worker
// thread with a message loop.
//
// Commands are posted as thread messages: the command word is
// command * 65536 + 2 * 256 + 1, with a number or a text as argument. The loop takes one
// message at a time and hands it to OnThreadCommand on the worker thread; when no message
// comes within the idle wait it calls OnThreadCommand(0, {}) (a word that decodes to no
// command). Until the stop flag is set it keeps going; then it signals the stop confirmation
// and ends.
//
// Threads: Post* may be called from any thread. Create and Destroy belong to the owner's
// thread; a subclass calls Destroy() in its destructor so the loop has ended before the
// subclass's members go away.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "download/engine/message_queue.h"
#include "platform/event.h"

namespace kolvane {

struct CommandArgument {
    std::int64_t number = 0;
    std::string text;  // the image path of a download command
};

constexpr std::uint32_t encodeCommand(int command) {
    return static_cast<std::uint32_t>(command) << 16 | 2u << 8 | 1u;
}
// The command of a command word; nothing when its low byte is not 1 or its second byte not 2.
constexpr std::optional<int> decodeCommand(std::uint32_t word) {
    if ((word & 0xFF) != 1 || ((word >> 8) & 0xFF) != 2) return std::nullopt;
    return static_cast<int>(word >> 16);
}

class CMultiThread {
public:
    CMultiThread() = default;
    virtual ~CMultiThread();
    CMultiThread(const CMultiThread&) = delete;
    CMultiThread& operator=(const CMultiThread&) = delete;

    // Starts the thread. The toolkit's creation flags, stack size and security attributes
    // have no counterpart here.
    bool Create(std::chrono::milliseconds idleWait = std::chrono::milliseconds(5));
    // Sets the stop flag, wakes the loop and waits without limit for its stop confirmation.
    void Destroy();
    bool IsRunning() const { return thread_.joinable(); }

    void PostThreadCommand(int command, std::int64_t argument = 0);
    void PostThreadCommand(int command, std::string text);
    // Any command word, as a raw thread message.
    void PostThreadMessage(std::uint32_t word, CommandArgument argument);

protected:
    virtual void OnThreadCommand(std::uint32_t word, const CommandArgument& argument) = 0;

private:
    struct Message {
        std::uint32_t word;
        CommandArgument argument;
    };
    void Run();

    std::atomic<bool> stop_{false};
    std::chrono::milliseconds idleWait_{5};
    platform::Event stopConfirmation_;
    MessageQueue<Message> queue_;
    std::thread thread_;
};

}  // namespace kolvane
