#include "installer/engine/configuration_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/folders.h"
#include "serial/display_text.h"

namespace fenwald {

namespace {

constexpr char kEsc = 0x1B;
constexpr char kCr = 0x0D;
constexpr std::string_view kMakePermanent = "Z2";

bool isTrailingSpace(char c) {
    return c == '\r' || c == '\n' || c == ' ' || c == '\t';
}

ConfigurationLoad refused(std::string_view text) {
    ConfigurationLoad load;
    load.message = ConfigurationMessage{std::string(kErrorCaption), std::string(text)};
    return load;
}

ConfigurationLoad unreadable(const std::string& path, platform::SystemError error) {
    ConfigurationLoad load =
        refused("Cannot open configuration file\n" + serial::displayText(path) + ": " + error.text);
    load.fileError = std::move(error);
    return load;
}

}  // namespace

ConfigurationLoad checkConfiguration(std::span<const std::uint8_t> content) {
    if (content.size() > kMaxConfigurationFileSize) return refused(kConfigurationNotValid);
    std::string_view text(reinterpret_cast<const char*>(content.data()), content.size());
    if (!text.starts_with(kConfigurationPrefix)) return refused(kConfigurationNotValid);
    text.remove_prefix(kConfigurationPrefix.size());
    text = text.substr(0, text.find('\0'));
    while (!text.empty() && isTrailingSpace(text.back())) text.remove_suffix(1);
    if (text.empty()) return refused(kConfigurationEmpty);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x20 || b == 0x7F) {
            ConfigurationLoad load = refused(kConfigurationNotValid);
            load.controlByteOffset = kConfigurationPrefix.size() + i;
            load.controlByte = b;
            return load;
        }
    }
    ConfigurationLoad load;
    load.ok = true;
    load.configuration = std::string(text);
    return load;
}

ConfigurationLoad LoadConfigurationFile(const std::string& path) {
    platform::SystemError why;
    const int fd = platform::openRegularFile(path, &why);
    if (fd < 0) return unreadable(path, std::move(why));
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > off_t(kMaxConfigurationFileSize)) {
        ::close(fd);
        return refused(kConfigurationNotValid);
    }
    // One byte past the limit tells a file that grew while it was read from one that fits.
    std::uint8_t content[kMaxConfigurationFileSize + 1];
    std::size_t size = 0;
    while (size < sizeof content) {
        ssize_t r = ::read(fd, content + size, sizeof content - size);
        if (r > 0) {
            size += static_cast<std::size_t>(r);
        } else if (r == 0) {
            break;
        } else if (errno != EINTR) {
            platform::SystemError err = platform::SystemError::fromErrno();
            ::close(fd);
            return unreadable(path, std::move(err));
        }
    }
    ::close(fd);
    ConfigurationLoad load = checkConfiguration({content, size});
    if (load.ok) load.fileName = configurationFileName(path);
    return load;
}

std::string configurationFileName(std::string_view path) {
    // '/' separates on this system; a path written the Windows way (typed on the command line,
    // kept in a settings file from there) still shows just its name. A backslash inside a file
    // name is rare enough that cutting there costs less than showing a whole path.
    std::size_t cut = path.find_last_of("/\\");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string configurationCommand(std::string_view configuration, bool makePermanent) {
    std::string command(1, kEsc);
    command += configuration;
    if (makePermanent) command += kMakePermanent;
    command += kCr;
    return command;
}

}  // namespace fenwald
