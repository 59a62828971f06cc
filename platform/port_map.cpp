#include "platform/port_map.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/file_lock.h"
#include "platform/folders.h"
#include "platform/serial_enumeration.h"

namespace platform {

namespace {

std::string trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return std::string(s.substr(b, e - b));
}

// A missing map is no error: it only means no port was mapped yet.
bool readFile(const std::string& path, std::string& text, SystemError* err) {
    if (isDirectory(path)) {  // it opens as a stream, and only reading it fails
        if (err) *err = SystemError::fromCode(EISDIR);
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (err && errno != ENOENT) *err = SystemError::fromErrno();
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    text = ss.str();
    return true;
}

std::vector<PortInfo> loadMap(const std::string& path, SystemError* err,
                              std::vector<std::string>* warnings = nullptr) {
    std::string text;
    SystemError why;
    if (!readFile(path, text, &why)) {
        if (why && warnings)
            warnings->push_back("The port map " + path + " cannot be read: " + why.text + ".");
        if (err && why) *err = why;
        return {};
    }
    std::vector<std::string> found;
    auto ports = parsePortMap(text, &found);
    if (warnings)
        for (auto& w : found) warnings->push_back("The port map " + path + ", " + w + ".");
    return ports;
}

// Rewrites the map under its lock: edit gets the lines and changes them in place.
template <class Edit>
bool editMapFile(const std::string& mapFile, Edit edit, SystemError* err) {
    FileLock lock(mapFile + ".lock");
    if (!lock.locked()) {
        if (err) *err = lock.error();
        return false;
    }
    std::string text;
    readFile(mapFile, text, nullptr);
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    edit(lines);
    std::string out;
    for (auto& l : lines) out += l + "\n";
    return replaceFileContents(mapFile, out, err);
}

int lineNumber(const std::string& line) {
    auto ports = parsePortMap(line);
    return ports.empty() ? 0 : ports.front().number;
}

void setLine(std::vector<std::string>& lines, const PortInfo& port) {
    std::string mine = formatPortMapLine(port);
    for (auto& l : lines)
        if (lineNumber(l) == port.number) {
            l = mine;
            return;
        }
    lines.push_back(mine);
}

}  // namespace

std::vector<PortInfo> parsePortMap(std::string_view text, std::vector<std::string>* warnings) {
    std::vector<PortInfo> ports;
    std::vector<std::pair<int, int>> lineOf;  // COM number, line it came on
    size_t pos = 0;
    int lineNo = 0;
    while (pos <= text.size()) {
        ++lineNo;
        size_t nl = text.find('\n', pos);
        std::string_view line =
            text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? text.size() + 1 : nl + 1;
        if (size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        std::string l = trim(line);
        if (l.size() < 4 || !(std::toupper(static_cast<unsigned char>(l[0])) == 'C' &&
                              std::toupper(static_cast<unsigned char>(l[1])) == 'O' &&
                              std::toupper(static_cast<unsigned char>(l[2])) == 'M'))
            continue;
        size_t i = 3;
        int number = 0;
        while (i < l.size() && std::isdigit(static_cast<unsigned char>(l[i])) && number < 100000)
            number = number * 10 + (l[i++] - '0');
        if (number <= 0 || i >= l.size() || !std::isspace(static_cast<unsigned char>(l[i])))
            continue;
        std::string rest = trim(std::string_view(l).substr(i));
        size_t sp = rest.find_first_of(" \t");
        PortInfo p;
        p.number = number;
        p.devicePath = rest.substr(0, sp);
        if (sp != std::string::npos) p.displayName = trim(std::string_view(rest).substr(sp));
        if (p.devicePath.empty()) continue;
        // A number names one port: a second line for it would make the port depend on order.
        auto first = std::find_if(lineOf.begin(), lineOf.end(),
                                  [&](const auto& e) { return e.first == number; });
        if (first != lineOf.end()) {
            if (warnings)
                warnings->push_back("line " + std::to_string(lineNo) + ": COM" +
                                    std::to_string(number) + " is already on line " +
                                    std::to_string(first->second) + "; line " +
                                    std::to_string(lineNo) + " is ignored");
            continue;
        }
        lineOf.emplace_back(number, lineNo);
        p.isUsb = p.devicePath.find("ttyUSB") != std::string::npos ||
                  p.devicePath.find("ttyACM") != std::string::npos ||
                  p.devicePath.find("/usb-") != std::string::npos;
        ports.push_back(std::move(p));
    }
    return ports;
}

std::string formatPortMapLine(const PortInfo& port) {
    std::string line = "COM" + std::to_string(port.number) + " " + port.devicePath;
    if (!port.displayName.empty()) line += " " + port.displayName;
    return line;
}

std::string portMapPath() {
    const char* env = std::getenv("VELTRIX_PORTS");
    if (env && *env) return env;
    return joinPath(joinPath(configFolder(), "veltrix"), "ports");
}

bool portMapIsExclusive() {
    const char* env = std::getenv("VELTRIX_PORTS");
    return env && *env;
}

std::string portSourceDescription() {
    std::string map = "the port map " + portMapPath();
    return portMapIsExclusive() ? map : "hardware enumeration and " + map;
}

PortList listPorts() {
    PortList result;
    std::string path = portMapPath();
    if (portMapIsExclusive()) {
        result.ports = loadMap(path, &result.error, &result.warnings);
        return result;
    }
    std::vector<SerialDeviceFound> found = enumerateSerialDevices(result.error);
    std::vector<PortInfo> known = loadMap(path, nullptr, &result.warnings);
    std::vector<PortInfo> added;
    for (const auto& dev : found) {
        auto it = std::find_if(known.begin(), known.end(),
                               [&](const PortInfo& p) { return p.devicePath == dev.stablePath; });
        if (it != known.end()) {
            PortInfo p = *it;
            p.isUsb = dev.isUsb;
            result.ports.push_back(p);
            continue;
        }
        int n = 1;
        auto taken = [&](int k) {
            auto same = [k](const PortInfo& p) { return p.number == k; };
            return std::any_of(known.begin(), known.end(), same) ||
                   std::any_of(added.begin(), added.end(), same);
        };
        while (taken(n)) ++n;
        PortInfo p;
        p.number = n;
        p.devicePath = dev.stablePath;
        p.displayName = dev.description.empty()
                            ? std::string()
                            : dev.description + " (COM" + std::to_string(n) + ")";
        p.isUsb = dev.isUsb;
        added.push_back(p);
        result.ports.push_back(p);
    }
    // Ports written into the map by hand (a fixed line, a device udev does not report) are
    // there whenever their device is.
    for (const auto& p : known) {
        bool listed = std::any_of(result.ports.begin(), result.ports.end(),
                                  [&](const PortInfo& q) { return q.number == p.number; });
        if (!listed && isCharacterDevice(p.devicePath)) result.ports.push_back(p);
    }
    if (!added.empty()) {
        createDirectories(parentFolder(path));
        SystemError why;
        auto addAll = [&](std::vector<std::string>& lines) {
            for (const auto& p : added) setLine(lines, p);
        };
        // The ports still work; their numbers are kept for this run only.
        if (!editMapFile(path, addAll, &why))
            result.warnings.push_back(cannotWriteText(path, why) + ".");
    }
    std::sort(result.ports.begin(), result.ports.end(),
              [](const PortInfo& a, const PortInfo& b) { return a.number < b.number; });
    return result;
}

std::optional<PortInfo> findPort(int number) {
    for (auto& p : listPorts().ports)
        if (p.number == number) return p;
    return std::nullopt;
}

bool registerPort(const std::string& mapFile, const PortInfo& port, SystemError* err) {
    return editMapFile(
        mapFile, [&](std::vector<std::string>& lines) { setLine(lines, port); }, err);
}

bool unregisterPort(const std::string& mapFile, int number, SystemError* err) {
    return editMapFile(
        mapFile,
        [&](std::vector<std::string>& lines) {
            std::erase_if(lines, [&](const std::string& l) { return lineNumber(l) == number; });
        },
        err);
}

}  // namespace platform
