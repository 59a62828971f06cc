#include "platform/trace.h"

#include <dlfcn.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace platform::trace {

namespace {

constexpr std::string_view kKindNames[] = {"line", "worker", "component"};

std::string_view nameOf(Kind kind) {
    switch (kind) {
        case Kind::Line:
            return kKindNames[0];
        case Kind::Worker:
            return kKindNames[1];
        case Kind::Component:
            break;
    }
    return kKindNames[2];
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A whole line in one write(): the program and each component module have their own copy of
// this file, so no lock could keep their lines apart.
void writeWhole(std::string line) {
    line += '\n';
    const char* p = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

// A component module links its own copy of this file and reads the variable again when it
// loads; only the program's copy warns, so a bad kind is named once.
bool inProgramItself() {
    Dl_info self{}, program{};
    const auto entry = reinterpret_cast<void*>(::getauxval(AT_ENTRY));
    if (!entry || !::dladdr(reinterpret_cast<void*>(&inProgramItself), &self) ||
        !::dladdr(entry, &program))
        return true;
    return self.dli_fbase == program.dli_fbase;
}

unsigned readVariable() {
    const char* value = std::getenv("VELTRIX_TRACE");
    if (!value || !*value) return 0;
    Selection s = parse(value);
    if (!s.unknown.empty() && inProgramItself()) {
        std::string names;
        for (const std::string& u : s.unknown)
            names += (names.empty() ? "\"" : ", \"") + escaped(u) + "\"";
        writeWhole("veltrix: VELTRIX_TRACE: unknown kind " + names +
                   " ignored (the kinds are line, worker, component and all)");
    }
    return s.kinds;
}

}  // namespace

const unsigned enabledKinds = readVariable();

Selection parse(std::string_view value) {
    Selection s;
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        const std::string_view item = trimmed(value.substr(0, comma));
        value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
        if (item.empty()) continue;
        if (item == "all") {
            s.kinds |= unsigned(Kind::Line) | unsigned(Kind::Worker) | unsigned(Kind::Component);
        } else if (item == kKindNames[0]) {
            s.kinds |= unsigned(Kind::Line);
        } else if (item == kKindNames[1]) {
            s.kinds |= unsigned(Kind::Worker);
        } else if (item == kKindNames[2]) {
            s.kinds |= unsigned(Kind::Component);
        } else {
            s.unknown.emplace_back(item);
        }
    }
    return s;
}

std::string formatLine(Kind kind, std::string_view text, double seconds) {
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "veltrix %.6f ", seconds);
    std::string line(stamp);
    line += nameOf(kind);
    line += ' ';
    line += text;
    return line;
}

void write(Kind kind, std::string_view text) {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    writeWhole(formatLine(kind, text, double(now.tv_sec) + double(now.tv_nsec) / 1e9));
}

std::string bytes(const void* data, std::size_t count, std::size_t shownAtMost) {
    // serial::displayText is for what a user reads (and may not be used from here); a trace
    // shows every byte that is not printable ASCII by its value, as a protocol's bytes are.
    const auto* p = static_cast<const unsigned char*>(data);
    const std::size_t shown = count < shownAtMost ? count : shownAtMost;
    std::string out;
    out.reserve(shown * 2);
    for (std::size_t i = 0; i < shown; ++i) {
        const unsigned char c = p[i];
        if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (count > shown) out += "... (" + std::to_string(count - shown) + " more)";
    return out;
}

void errorLine(std::string_view text) {
    writeWhole(std::string(text));
}

}  // namespace platform::trace
