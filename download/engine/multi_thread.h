// CMultiThread: the download tool's worker thread with its own message queue, in the shape of
// a toolkit worker thread with a message loop (it owns a platform::CommandWorker).
//
// Commands are posted as thread messages: the command word is
// command * 65536 + 2 * 256 + 1, with a number or a text as argument. The loop takes one
// message at a time and hands it to OnThreadCommand on the worker thread; when no message
// comes within the idle wait it calls OnThreadCommand(0, {}) (a word that decodes to no
// command). Destroy() stops the loop after the running command and waits for the thread.
//
// Threads: Post* may be called from any thread. Create and Destroy belong to the owner's
// thread; a subclass calls Destroy() in its destructor so the loop has ended before the
// subclass's members (and its OnThreadCommand) go away. Create fails when no thread can be
// made; CreateFailure() says why, and the owner reports it instead of posting commands.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/command_worker.h"

namespace kolvane {

struct CommandArgument {
    std::int64_t number = 0;
    std::string text;  // the image path of a download command
};

struct ThreadMessage {
    std::uint32_t word = 0;
    CommandArgument argument;
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
    virtual ~CMultiThread() { Destroy(); }
    CMultiThread(const CMultiThread&) = delete;
    CMultiThread& operator=(const CMultiThread&) = delete;

    // Starts the thread. The toolkit's creation flags, stack size and security attributes
    // have no counterpart here.
    [[nodiscard]] bool Create(std::chrono::milliseconds idleWait = std::chrono::milliseconds(5));
    // The system's reason the last Create made no thread.
    std::string CreateFailure() const { return worker_.startFailure().text; }
    void Destroy() { worker_.stop(); }
    bool IsRunning() const { return worker_.running(); }

    void PostThreadCommand(int command, std::int64_t argument = 0);
    void PostThreadCommand(int command, std::string text);
    // Any command word, as a raw thread message.
    void PostThreadMessage(std::uint32_t word, CommandArgument argument);

protected:
    virtual void OnThreadCommand(std::uint32_t word, const CommandArgument& argument) = 0;

private:
    static void onEnd();

    platform::CommandWorker<ThreadMessage> worker_{
        [this](ThreadMessage& message) { OnThreadCommand(message.word, message.argument); },
        [this] { OnThreadCommand(0, {}); }, [] { onEnd(); }};
};

}  // namespace kolvane
