// A program's settings file: one INI file read key by key through the platform's profile
// strings, with no parser of its own. A key that is missing (or empty) when read is written
// back with its default, so the file always ends up listing every setting. A save writes all
// its keys in one rewrite (WriteAll), so two programs saving at once keep both their keys.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "platform/system_error.h"

namespace serial {

class SettingsFile {
public:
    virtual ~SettingsFile() = default;

    // Joins folder and name into the file's path.
    virtual void SetPath(const std::string& folder, const std::string& name);
    const std::string& path() const { return path_; }

    // The value's leading decimal digits as a number (0 when there are none); the default,
    // written back, when nothing is there.
    int GetInt(const std::string& section, const std::string& key, int defaultValue);
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue);
    bool WriteInt(const std::string& section, const std::string& key, int value);
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    // Every entry in one rewrite of the file.
    bool WriteAll(const std::vector<platform::profile::Entry>& entries);

    // Whether the last read found something or the last write succeeded.
    bool lastResult() const { return lastResult_; }
    // The text the last read found, as it stands in the file (empty when nothing was there).
    const std::string& lastText() const { return lastText_; }
    // Why the last write failed (nothing set after a success, or for a read-only file).
    const platform::SystemError& lastError() const { return lastError_; }

    // Why the file cannot be read although something is there (a folder, no permission, a
    // FIFO); nothing when it can be, or does not exist yet. A read of such a file finds no
    // key, so a caller that would go on with defaults says so first.
    std::optional<platform::SystemError> unreadable() const;

    // Read-only: a missing key reads as its default without being written back, and writes
    // do nothing and report failure. For command-line front ends, which never change the file.
    void setReadOnly(bool on) { readOnly_ = on; }
    bool readOnly() const { return readOnly_; }

    // Values are read as the 255-character buffer of the original holds them.
    static constexpr std::size_t kValueLimit = 254;

private:
    std::string read(const std::string& section, const std::string& key);
    std::string path_;
    std::string lastText_;
    platform::SystemError lastError_;
    bool lastResult_ = false;
    bool readOnly_ = false;
};

}  // namespace serial
