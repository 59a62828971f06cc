#include "serial/settings_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>

#include "platform/folders.h"
#include "platform/profile.h"

namespace serial {

void SettingsFile::SetPath(const std::string& folder, const std::string& name) {
    path_ = platform::joinPath(folder, name);
}

std::string SettingsFile::read(const std::string& section, const std::string& key) {
    std::string v = platform::profile::readString(path_, section, key, "").substr(0, kValueLimit);
    lastResult_ = !v.empty();
    lastText_ = v;
    return v;
}

std::optional<platform::SystemError> SettingsFile::unreadable() const {
    platform::SystemError why;
    if (platform::canReadRegularFile(path_, &why) || why.osCode == ENOENT) return std::nullopt;
    return why;
}

int SettingsFile::GetInt(const std::string& section, const std::string& key, int defaultValue) {
    std::string v = read(section, key);
    if (v.empty()) {
        WriteInt(section, key, defaultValue);
        return defaultValue;
    }
    long long n = 0;
    for (char c : v) {
        if (!std::isdigit(static_cast<unsigned char>(c))) break;
        n = std::min<long long>(n * 10 + (c - '0'), INT_MAX);
    }
    return static_cast<int>(n);
}

std::string SettingsFile::GetString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue) {
    std::string v = read(section, key);
    if (v.empty()) {
        WriteString(section, key, defaultValue);
        return defaultValue;
    }
    return v;
}

bool SettingsFile::WriteInt(const std::string& section, const std::string& key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool SettingsFile::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) {
    return WriteAll({{section, key, value}});
}

bool SettingsFile::WriteAll(const std::vector<platform::profile::Entry>& entries) {
    lastError_ = {};
    lastResult_ = !readOnly_ && platform::profile::write(path_, entries, &lastError_);
    return lastResult_;
}

}  // namespace serial
