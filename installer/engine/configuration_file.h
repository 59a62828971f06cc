// Scanner configuration files (.vsc) and what a configuration goes to the scanner as.
//
// A file of at most 500 bytes that begins with exactly "Config="; the configuration is the bytes
// after that, up to the end of the file or its first NUL, without the line ends and blanks an
// editor leaves at its end. Any other control byte in it (below 0x20, or 0x7F) makes the file
// not valid: a CR would end the command early (before "Z2") and an ESC start another one.
// checkConfiguration judges bytes in memory and reads nothing past them; LoadConfigurationFile
// reads a file (not one larger than the limit) and checks it. Neither changes anything: a failed
// load leaves the caller's earlier configuration alone. The results carry the message box to
// show, caption and text as the dialog shows them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/report.h"
#include "platform/system_error.h"

namespace fenwald {

constexpr std::size_t kMaxConfigurationFileSize = 500;
constexpr std::string_view kConfigurationPrefix = "Config=";

// The configuration dialog's texts.
constexpr std::string_view kErrorCaption = " Error";
constexpr std::string_view kConfigurationNotValid = "Configuration file is not valid.";
constexpr std::string_view kConfigurationEmpty = "Configuration file is empty.";
constexpr std::string_view kConfigurationFound = "Configuration found.";
constexpr std::string_view kNoConfigurationFound = "No configuration found.";

// A message box: its caption and text exactly as shown, and its icon.
struct ConfigurationMessage {
    std::string caption;
    std::string text;
    platform::Report::Severity severity = platform::Report::Severity::Error;
    bool operator==(const ConfigurationMessage&) const = default;
};

struct ConfigurationLoad {
    bool ok = false;
    std::string configuration;  // the bytes to send, when ok
    std::string fileName;       // the name to show, when ok (raw bytes of the path)
    std::optional<ConfigurationMessage> message;  // why not, when !ok
    platform::SystemError fileError;              // when the file could not be read
    // When a control byte made it not valid: the first such byte and its offset in the file.
    std::optional<std::size_t> controlByteOffset;
    std::uint8_t controlByte = 0;
};

ConfigurationLoad checkConfiguration(std::span<const std::uint8_t> content);
ConfigurationLoad LoadConfigurationFile(const std::string& path);

// The part of the path after its last '/' or '\'.
std::string configurationFileName(std::string_view path);

// ESC, the configuration, "Z2" when it is to be kept, CR: what goes to the scanner.
std::string configurationCommand(std::string_view configuration, bool makePermanent);

}  // namespace fenwald
