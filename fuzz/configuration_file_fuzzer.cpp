// Any bytes as a .vsc file, in memory and on disk. Beyond the sanitizers' checks: a file is
// taken exactly when it fits the limit, begins with the prefix and has something before its
// first NUL and its trailing line ends and blanks, with no control byte in it (the first one
// is named), what is taken is those bytes, a refusal says why, and the file on disk is judged
// as the same bytes in memory.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "installer/engine/configuration_file.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

// One scratch file for the whole run, rewritten for each input.
// A file of this process, memory-backed when the system has it (the run is mostly file
// writes); each input removes it again.
const std::string& scratchFile() {
    static const std::string path =
        std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/fuzz_vsc_" +
        std::to_string(::getpid());
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto load = fenwald::checkConfiguration({data, size});
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string_view body;
    bool expectOk = false;
    if (size <= fenwald::kMaxConfigurationFileSize &&
        text.starts_with(fenwald::kConfigurationPrefix)) {
        body = text.substr(fenwald::kConfigurationPrefix.size());
        body = body.substr(0, body.find('\0'));
        while (!body.empty() && (body.back() == '\r' || body.back() == '\n' || body.back() == ' ' ||
                                 body.back() == '\t'))
            body.remove_suffix(1);
        expectOk = !body.empty();
        for (std::size_t i = 0; i < body.size(); ++i) {
            const auto b = static_cast<unsigned char>(body[i]);
            if (b < 0x20 || b == 0x7F) {
                expectOk = false;
                check(load.controlByteOffset == fenwald::kConfigurationPrefix.size() + i &&
                      load.controlByte == b);
                break;
            }
        }
    }
    check(load.ok == expectOk);
    check(load.ok != load.message.has_value());
    if (load.ok) {
        check(load.configuration == body);
        for (bool permanent : {false, true}) {
            std::string command = fenwald::configurationCommand(load.configuration, permanent);
            check(command.front() == 0x1B && command.back() == 0x0D);
            check(command.substr(1, body.size()) == body);
            check(command.size() == body.size() + (permanent ? 4 : 2));
        }
    } else {
        check(!load.message->text.empty() && load.configuration.empty());
    }

    const std::string& path = scratchFile();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) std::abort();
    if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
    ::close(fd);
    const auto fromFile = fenwald::LoadConfigurationFile(path);
    ::unlink(path.c_str());
    check(fromFile.ok == load.ok && fromFile.configuration == load.configuration &&
          fromFile.message == load.message);
    if (fromFile.ok) check(fromFile.fileName == fenwald::configurationFileName(path));
    return 0;
}
