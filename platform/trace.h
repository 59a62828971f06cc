// Developer tracing: VELTRIX_TRACE=line,worker,component (any subset, or "all") writes each
// serial line operation, worker command and component call to standard error, one line per
// event: "veltrix 12.345678 line /dev/pts/3 write 15: 1001000042AAAA\x0D" (seconds on the
// monotonic clock, the kind, what happened).
//
// How it works: the variable is read once, before main (or when a component module loads);
// an unknown kind is ignored with one warning line. With the variable unset, enabled() is one
// load and one branch, and a caller builds its text only behind it. Bytes from a device or a
// peer go through bytes(), which escapes them and cuts a long transfer.
//
// Threads: every call may come from any thread; a line is written in one write(), so lines
// from several threads (and from the copy a component module links) never mix.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform::trace {

enum class Kind : unsigned { Line = 1, Worker = 2, Component = 4 };

// The kinds VELTRIX_TRACE asked for, as Kind bits; set before main.
extern const unsigned enabledKinds;

inline bool enabled(Kind kind) {
    return (enabledKinds & static_cast<unsigned>(kind)) != 0;
}

// One trace line; the caller checks enabled() first.
void write(Kind kind, std::string_view text);

// At most this many bytes of a transfer are shown; the rest is counted.
constexpr std::size_t kBytesShown = 64;
// Printable ASCII as it is, a backslash doubled, every other byte "\xNN"; past kBytesShown
// "... (N more)".
std::string bytes(const void* data, std::size_t count, std::size_t shownAtMost = kBytesShown);
// A name from outside (a path, a ProgID), escaped the same way and never cut.
inline std::string escaped(std::string_view text) {
    return bytes(text.data(), text.size(), text.size());
}

// A line on standard error, whole, written as trace lines are: for an engine's text that has
// no front end to go to (kolvane's KOLVANE_DEBUG lines, a picture message with no handler).
void errorLine(std::string_view text);

// What the variable's value asks for, and the kinds it names that do not exist.
struct Selection {
    unsigned kinds = 0;
    std::vector<std::string> unknown;
};
Selection parse(std::string_view value);
// "veltrix 12.345678 line TEXT"
std::string formatLine(Kind kind, std::string_view text, double seconds);

}  // namespace platform::trace
