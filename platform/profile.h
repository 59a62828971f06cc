// Profile-string (INI) files with the semantics the settings code was written for: sections
// and keys match without regard to case, every other line (comments, unknown keys, blank
// lines) is kept, and a write creates the file and the section when they are missing. A value
// reads back exactly as written: surrounding blanks and quotes are protected by quoting. A write
// refuses a section or key that no read could find again: blanks at its ends, a line break, a
// ']' in a section, an '=' in a key or a key that begins with ';' or '['.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/system_error.h"

namespace platform::profile {

// The value of key in section, or nothing when the file, section or key is missing.
std::optional<std::string> read(const std::string& file, const std::string& section,
                                const std::string& key);
std::string readString(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& defaultValue);

struct Entry {
    std::string section, key, value;
};
// Sets every entry in one rewrite of the file (platform::replaceFileContents), made under the
// file's lock (platform::FileLock on "<file>.lock", beside the file a symbolic link names), so
// two programs writing at once keep each other's keys. Nothing is written when a name is
// refused (EINVAL); a system failure leaves the file as it was. err gets the reason.
bool write(const std::string& file, const std::vector<Entry>& entries, SystemError* err = nullptr);
bool write(const std::string& file, const std::string& section, const std::string& key,
           const std::string& value, SystemError* err = nullptr);

}  // namespace platform::profile
