// Any bytes as a profile-string file and a section, key and value to write into it (the input
// is section NUL key NUL value NUL file). Beyond the sanitizers' checks: reading any file ends
// with a value on one line or nothing, and a write that succeeds reads back exactly the value
// written, with every other entry of the file reading as before.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/profile.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

// A file of this process, memory-backed when the system has it (the run is mostly file
// writes); each input removes it again.
const std::string& scratchFile() {
    static const std::string path =
        std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/fuzz_profile_" +
        std::to_string(::getpid());
    return path;
}

std::string_view field(std::string_view& rest) {
    const std::size_t nul = rest.find('\0');
    std::string_view f = rest.substr(0, nul);
    rest = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string section(field(rest)), key(field(rest)), value(field(rest));
    const std::string& file = scratchFile();
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(rest.data(), static_cast<std::streamsize>(rest.size()));
        if (!out) std::abort();
    }
    auto before = platform::profile::read(file, section, key);
    if (before) check(before->find('\n') == std::string::npos);
    // A neighbour: the same key in another section, or another key in this one.
    const std::string otherSection = section + "x", otherKey = key + "x";
    auto otherBefore = platform::profile::read(file, otherSection, key);
    auto keyBefore = platform::profile::read(file, section, otherKey);

    if (platform::profile::write(file, section, key, value)) {
        check(platform::profile::read(file, section, key) == value);
        check(platform::profile::read(file, otherSection, key) == otherBefore);
        check(platform::profile::read(file, section, otherKey) == keyBefore);
    }
    ::unlink(file.c_str());
    return 0;
}
