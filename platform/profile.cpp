#include "platform/profile.h"

#include <cctype>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/file_lock.h"
#include "platform/folders.h"

namespace platform::profile {

namespace {

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool sameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool readLines(const std::string& file, std::vector<std::string>& lines) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return true;
}

// "[name]" -> name; nothing for other lines.
std::optional<std::string> sectionOf(const std::string& line) {
    std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    auto close = t.find(']');
    if (close == std::string::npos) return std::nullopt;
    return trim(t.substr(1, close - 1));
}

std::optional<std::pair<std::string, std::string>> entryOf(const std::string& line) {
    std::string t = trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
    auto eq = t.find('=');
    if (eq == std::string::npos) return std::nullopt;
    return std::make_pair(trim(t.substr(0, eq)), trim(t.substr(eq + 1)));
}

bool quoted(const std::string& v) {
    return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}

std::string unquote(const std::string& v) {
    return quoted(v) ? v.substr(1, v.size() - 2) : v;
}

std::string protect(const std::string& v) {
    bool blanks = !v.empty() && (std::isspace(static_cast<unsigned char>(v.front())) ||
                                 std::isspace(static_cast<unsigned char>(v.back())));
    return blanks || quoted(v) ? "\"" + v + "\"" : v;
}

// A name the reader can find again: no blanks at its ends (they are trimmed off the file's
// lines), on one line, and not cut short by the marks that end it or make a line no entry.
bool readableName(const std::string& name, bool key) {
    if (name.empty() || trim(name) != name || name.find('\n') != std::string::npos) return false;
    if (key) return name.find('=') == std::string::npos && name[0] != ';' && name[0] != '[';
    return name.find(']') == std::string::npos;
}

}  // namespace

std::optional<std::string> read(const std::string& file, const std::string& section,
                                const std::string& key) {
    std::vector<std::string> lines;
    if (!readLines(file, lines)) return std::nullopt;
    bool inSection = false;
    for (const auto& line : lines) {
        if (auto s = sectionOf(line)) {
            inSection = sameText(*s, section);
            continue;
        }
        if (!inSection) continue;
        if (auto e = entryOf(line); e && sameText(e->first, key)) return unquote(e->second);
    }
    return std::nullopt;
}

std::string readString(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& defaultValue) {
    auto v = read(file, section, key);
    return v ? *v : defaultValue;
}

namespace {

// Sets one entry in the file's lines.
void setEntry(std::vector<std::string>& lines, const Entry& change) {
    const std::string entry = change.key + "=" + protect(change.value);
    bool inSection = false;
    bool sectionFound = false;
    size_t insertAt = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto s = sectionOf(lines[i])) {
            if (inSection) break;  // end of our section: insert after its last line
            inSection = sameText(*s, change.section);
            if (inSection) {
                sectionFound = true;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection) continue;
        if (auto e = entryOf(lines[i]); e && sameText(e->first, change.key)) {
            lines[i] = entry;
            return;
        }
        if (!trim(lines[i]).empty()) insertAt = i + 1;
    }
    if (sectionFound) {
        lines.insert(lines.begin() + static_cast<long>(insertAt), entry);
    } else {
        lines.push_back("[" + change.section + "]");
        lines.push_back(entry);
    }
}

}  // namespace

bool write(const std::string& file, const std::vector<Entry>& entries, SystemError* err) {
    for (const Entry& e : entries) {
        if (!readableName(e.key, true) || !readableName(e.section, false) ||
            e.value.find('\n') != std::string::npos) {
            if (err) *err = SystemError::fromCode(EINVAL, "a name or value no read finds again");
            return false;
        }
    }
    // Without the lock (a folder that cannot be written) the write itself says why it fails.
    FileLock lock(linkTarget(file) + ".lock");
    // A file that is there but cannot be read is not replaced by our keys alone.
    SystemError unreadable;
    if (!canReadRegularFile(file, &unreadable) && unreadable.osCode != ENOENT) {
        if (err) *err = unreadable;
        return false;
    }
    std::vector<std::string> lines;
    readLines(file, lines);
    for (const Entry& e : entries) setEntry(lines, e);
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return replaceFileContents(file, out, err);
}

bool write(const std::string& file, const std::string& section, const std::string& key,
           const std::string& value, SystemError* err) {
    return write(file, std::vector<Entry>{{section, key, value}}, err);
}

}  // namespace platform::profile
