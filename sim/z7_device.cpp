#include "sim/z7_device.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <thread>
#include <utility>

#include "platform/deadline.h"

namespace sim {

using namespace std::chrono_literals;

namespace {

const char* const kModeSwitch[] = {
    "\x1BUX\r\r\r\r\r", "\x1B[XUX\r\r\r", "\x1B[X.Z\r\r\r", "\x1B[E49\r\r\r", "\x1BZW\r\r\r\r\r",
};
constexpr std::size_t kSectorWords = 0x8000;  // 64 KiB

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

std::uint32_t hexValue(const std::string& s) {
    return static_cast<std::uint32_t>(std::strtoul(s.c_str(), nullptr, 16));
}

// Length of a complete monitor command with this operation, 0 for an unknown one.
std::size_t commandLength(const std::string& op) {
    if (op == "42") return 14;
    if (op == "62") return 10;
    if (op == "C4") return 18;
    return 0;
}

std::optional<int> count(const std::string& arg) {
    char* end = nullptr;
    long n = std::strtol(arg.c_str(), &end, 10);
    if (arg.empty() || *end != '\0' || n < 0) return std::nullopt;
    return static_cast<int>(n);
}

}  // namespace

Z7Device::Z7Device(Options options)
    : options_(options), flash_(kFlashBytes / 2), ram_(kRamBytes / 2, 0) {
    for (std::size_t i = 0; i < flash_.size(); ++i)
        flash_[i] = initialFlashWord(flashBase() + 2 * i);
}

std::uint16_t Z7Device::initialFlashWord(std::uint32_t address) const {
    // Old firmware: anything but the erased value, so a missing erase shows.
    return static_cast<std::uint16_t>(((address - flashBase()) / 2 * 0x9E37u + 0x2C5Au) & 0x7FFF);
}

const char* Z7Device::usage() {
    return "[--mode download|bootstrap] [--device k41|z7b|z7d] [--endian big|little] [--swap]\n"
           "      commands: mode download|bootstrap, swap on|off, reject N, unknown N [XY], mute "
           "N,\n"
           "      stray N [XY],\n"
           "      stall MS [N] (the next reply, or echo, or that of the Nth word read, comes "
           "MS late),\n"
           "      reports on|off, flash-fail on|off, erase-busy N|stuck, drop-ack "
           "ADDRESS,\n"
           "      clear, status, save FILE";
}

std::unique_ptr<SimDevice> Z7Device::make(const std::vector<std::string>& args,
                                          std::string& error) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string v = i + 1 < args.size() ? args[i + 1] : "";
        if (a == "--swap") {
            o.swapped = true;
            continue;
        }
        if (a == "--mode" && (v == "download" || v == "bootstrap"))
            o.mode = v == "download" ? Mode::Download : Mode::Bootstrap;
        else if (a == "--device" && (v == "k41" || v == "z7b" || v == "z7d"))
            o.deviceType = v == "k41" ? 0 : v == "z7b" ? 1 : 2;
        else if (a == "--endian" && (v == "big" || v == "little"))
            o.bigEndian = v == "big";
        else {
            error = "z7: bad option: " + a + (v.empty() ? "" : " " + v);
            return nullptr;
        }
        ++i;
    }
    return std::make_unique<Z7Device>(o);
}

std::uint32_t Z7Device::flashBase() const {
    return options_.deviceType == 2 ? 0x80000000u : 0x10000000u;
}
unsigned Z7Device::monitorBaud() const {
    return options_.deviceType == 2 ? 38400 : 57600;
}

unsigned Z7Device::programBaud() {
    auto s = line().programSettings();
    return s ? s->baudRate : 0;
}

void Z7Device::serve(std::stop_token stop) {
    while (!stop.stop_requested() && line().isOpen()) {
        Mode mode;
        {
            std::lock_guard l(lock_);
            mode = options_.mode;
        }
        if (mode == Mode::Download)
            serveDownload(stop);
        else
            serveBootstrap(stop);
    }
}

bool Z7Device::readFully(std::uint8_t* p, std::size_t n, std::stop_token& stop) {
    std::size_t got = 0;
    while (got < n) {
        if (stop.stop_requested() || !line().isOpen()) return false;
        std::size_t r = line().read(p + got, n - got, 500ms);
        if (r == 0) return false;  // the sender stalled: not a whole frame
        got += r;
    }
    return true;
}

void Z7Device::discardUntilQuiet(milliseconds quiet) {
    std::uint8_t sink[4096];
    while (line().read(sink, sizeof sink, quiet) > 0) {
    }
}

void Z7Device::reply(const char code[2], const char* stray) {
    bool swapped;
    {
        std::lock_guard l(lock_);
        swapped = options_.swapped;
    }
    // A stray answer goes out with the answer in one piece: it is there before the program
    // sends its next frame, however the threads are scheduled.
    char out[4] = {code[swapped ? 1 : 0], code[swapped ? 0 : 1]};
    std::size_t n = 2;
    if (stray) {
        out[2] = stray[swapped ? 1 : 0];
        out[3] = stray[swapped ? 0 : 1];
        n = 4;
    }
    line().send(out, n);
}

// One unit of the download mode: a mode-switch command, a data frame or the stop frame.
void Z7Device::serveDownload(std::stop_token& stop) {
    std::uint8_t h[8];
    if (line().read(h, 1, 50ms) != 1) return;
    if (!readFully(h + 1, 3, stop)) return;
    if (h[0] == 0x1B) {
        for (const char* cmd : kModeSwitch) {
            if (std::equal(h, h + 4, reinterpret_cast<const std::uint8_t*>(cmd))) {
                if (!readFully(h + 4, 4, stop)) return;
                std::string text(reinterpret_cast<char*>(h), 8);
                std::lock_guard l(lock_);
                if (text == cmd) modeSwitches_.push_back({text, programBaud()});
                return;
            }
        }
    }
    std::size_t lengthHere = options_.bigEndian ? (h[0] << 8 | h[1]) : (h[3] << 8 | h[2]);
    bool stopFrame;
    {
        std::lock_guard l(lock_);
        stopFrame = h[0] == 'E' && h[1] == 'D' && !(knownLength_ && lengthHere == knownLength_);
    }
    if (stopFrame)
        handleStop(h, stop);
    else
        handleFrame(h, stop);
}

void Z7Device::handleStop(const std::uint8_t*, std::stop_token& stop) {
    std::size_t known;
    {
        std::lock_guard l(lock_);
        known = knownLength_;
    }
    if (known) {
        std::vector<std::uint8_t> rest(known + 22);
        if (!readFully(rest.data(), rest.size(), stop)) return;
    } else {
        discardUntilQuiet(30ms);
    }
    if (programBaud() != kTransferBaud) return;
    std::size_t sectors;
    bool answer, reports, fail;
    {
        std::lock_guard l(lock_);
        ++stopFrames_;
        answer = mute_ == 0;
        if (mute_ > 0) --mute_;
        reports = reports_;
        fail = flashFail_;
        sectors = std::max<std::size_t>(1, (bytesSinceStop_ + 0xFFFF) / 0x10000);
        if (answer) bytesSinceStop_ = 0;
    }
    if (!answer) return;
    reply("ED");
    if (!reports) return;
    for (std::size_t i = 0; i < sectors; ++i) {
        reply("EG");
        reply(fail ? "WE" : "BE");
    }
    reply("FE");
}

void Z7Device::handleFrame(const std::uint8_t* h, std::stop_token& stop) {
    const bool big = options_.bigEndian;
    const std::size_t n = big ? (h[0] << 8 | h[1]) : (h[3] << 8 | h[2]);
    const std::uint16_t number =
        static_cast<std::uint16_t>(big ? (h[2] << 8 | h[3]) : (h[1] << 8 | h[0]));
    int stallMs;
    {
        std::lock_guard l(lock_);
        stallMs = std::exchange(stallMs_, 0);
    }
    for (platform::Deadline until{milliseconds(stallMs)};
         !until.expired() && !stop.stop_requested();)
        std::this_thread::sleep_for(5ms);

    std::vector<std::uint8_t> rest(n + 22);
    bool whole = n > 0 && readFully(rest.data(), rest.size(), stop);
    if (stop.stop_requested()) return;
    if (programBaud() != kTransferBaud) {
        discardUntilQuiet(30ms);
        return;
    }
    bool good = whole;
    if (good) {
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i < n; ++i) sum += rest[i];
        const std::uint8_t* t = rest.data() + n;
        std::uint16_t sent =
            static_cast<std::uint16_t>(big ? (t[0] << 8 | t[1]) : (t[1] << 8 | t[0]));
        good = sent == static_cast<std::uint16_t>(sum) && t[2] == 0 && t[3] == 0;
    }
    if (!good) {
        discardUntilQuiet(30ms);  // back in step with the sender
        {
            std::lock_guard l(lock_);
            ++badFrames_;
        }
        reply("RT");
        return;
    }
    std::string answer = "NX";
    std::string stray;
    {
        std::lock_guard l(lock_);
        if (reject_ > 0) {
            --reject_;
            answer = "RT";
        } else if (unknown_ > 0) {
            --unknown_;
            answer = unknownCode_;
        } else {
            blocks_[number] = Bytes(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(n));
            knownLength_ = n;
            bytesSinceStop_ += n;
            if (mute_ > 0) {
                --mute_;
                answer.clear();
            } else if (stray_ > 0) {
                --stray_;
                stray = strayCode_;
            }
        }
    }
    if (answer.size() == 2)
        reply(answer.c_str(), stray.empty() ? nullptr : stray.c_str());
    else if (!stray.empty())
        reply(stray.c_str());
}

void Z7Device::serveBootstrap(std::stop_token& stop) {
    std::string cmd;
    std::uint8_t buf[256];
    while (!stop.stop_requested() && line().isOpen()) {
        {
            std::lock_guard l(lock_);
            if (options_.mode != Mode::Bootstrap) return;
        }
        std::size_t n = line().read(buf, sizeof buf, cmd.empty() ? 50ms : 500ms);
        if (n == 0) {
            cmd.clear();  // a command broken off is forgotten
            continue;
        }
        if (programBaud() != monitorBaud()) {
            cmd.clear();
            continue;
        }
        for (std::size_t i = 0; i < n; ++i) {
            char c = static_cast<char>(buf[i]);
            if (cmd.empty() && (c == '\r' || c == '\n')) continue;
            if (cmd.empty() && c == 'A' && i + 1 == n) {
                // A lone 'A' asks for the prompt; an 'A' followed at once by more begins an
                // address.
                std::uint8_t next;
                if (line().read(&next, 1, 20ms) == 0) {
                    line().send(":");
                    continue;
                }
                cmd.push_back('A');
                c = static_cast<char>(next);
            }
            if (!isHexDigit(c)) {
                cmd.clear();
                line().send("?");
                continue;
            }
            cmd.push_back(c);
            if (cmd.size() == 10 && commandLength(cmd.substr(8, 2)) == 0) {
                cmd.clear();
                line().send("?");
                continue;
            }
            if (cmd.size() >= 10 && cmd.size() == commandLength(cmd.substr(8, 2))) {
                int stallMs = 0;
                {
                    std::lock_guard l(lock_);
                    if (stallRead_ > 0 && cmd.substr(8, 2) == "62") --stallRead_;
                    if (stallRead_ == 0) stallMs = std::exchange(stallMs_, 0);
                }
                for (platform::Deadline until{milliseconds(stallMs)};
                     !until.expired() && !stop.stop_requested();)
                    std::this_thread::sleep_for(1ms);
                runMonitorCommand(cmd);
                cmd.clear();
            }
        }
    }
}

void Z7Device::runMonitorCommand(const std::string& text) {
    const std::uint32_t address = hexValue(text.substr(0, 8));
    const std::string op = text.substr(8, 2);
    std::string answer = text;
    bool ack = true;
    {
        std::lock_guard l(lock_);
        const std::uint32_t ramBase = options_.deviceType == 2 ? 0xA0000000u : 0x08000000u;
        auto inFlash = address - flashBase() < kFlashBytes;
        auto inRam = address - ramBase < kRamBytes;
        if (op == "42") {
            auto value = static_cast<std::uint16_t>(hexValue(text.substr(10, 4)));
            if (inFlash)
                flashWrite((address - flashBase()) / 2, value);
            else if (inRam)
                ram_[(address - ramBase) / 2] = value;
        } else if (op == "62") {
            std::uint16_t value = 0;
            if (inFlash)
                value = flashRead((address - flashBase()) / 2);
            else if (inRam)
                value = ram_[(address - ramBase) / 2];
            char digits[8];
            std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(value));
            answer += digits;
        } else {
            longWrites_.push_back({address, hexValue(text.substr(10, 8))});
        }
        if (op != "62" && dropAcks_.erase(address) > 0) ack = false;
    }
    if (ack) answer += "/";
    if (ack && options_.deviceType == 2) answer += "\r\n";
    line().send(answer);
}

void Z7Device::flashWrite(std::uint32_t index, std::uint16_t value) {
    if (busyReads_ != 0) return;  // an erase is running
    const std::uint8_t v = value & 0xFF;
    switch (jedec_) {
        case Jedec::Read:
            jedec_ = index == 0x555 && v == 0xAA ? Jedec::Unlock1 : Jedec::Read;
            break;
        case Jedec::Unlock1:
            jedec_ = index == 0x2AA && v == 0x55 ? Jedec::Unlock2 : Jedec::Read;
            break;
        case Jedec::Unlock2:
            jedec_ = index != 0x555 ? Jedec::Read
                     : v == 0xA0    ? Jedec::Program
                     : v == 0x80    ? Jedec::EraseSetup
                                    : Jedec::Read;
            break;
        case Jedec::Program:
            flash_[index] &= value;  // programming only clears bits
            lowestProgrammed_ = std::min(lowestProgrammed_, index);
            highestProgrammed_ = std::max(highestProgrammed_, index);
            jedec_ = Jedec::Read;
            break;
        case Jedec::EraseSetup:
            jedec_ = index == 0x555 && v == 0xAA ? Jedec::EraseUnlock1 : Jedec::Read;
            break;
        case Jedec::EraseUnlock1:
            jedec_ = index == 0x2AA && v == 0x55 ? Jedec::EraseUnlock2 : Jedec::Read;
            break;
        case Jedec::EraseUnlock2:
            if (v == 0x30 || (v == 0x10 && index == 0x555)) {
                std::size_t first = v == 0x30 ? index / kSectorWords * kSectorWords : 0;
                std::size_t last = v == 0x30 ? first + kSectorWords : flash_.size();
                std::fill(flash_.begin() + static_cast<std::ptrdiff_t>(first),
                          flash_.begin() + static_cast<std::ptrdiff_t>(last), 0xFFFF);
                ++erases_;
                busyReads_ = eraseBusyReads_;
            }
            jedec_ = Jedec::Read;
            break;
    }
}

std::uint16_t Z7Device::flashRead(std::uint32_t index) {
    if (busyReads_ != 0) {
        if (busyReads_ > 0) --busyReads_;
        toggle_ = !toggle_;
        return toggle_ ? 0x0040 : 0x0000;  // DQ6 toggles, DQ7 shows "not done"
    }
    return flash_[index];
}

std::string Z7Device::command(const std::string& text) {
    std::istringstream in(text);
    std::string verb, arg, arg2;
    in >> verb >> arg >> arg2;
    auto onOff = [&](bool& flag) -> std::string {
        if (arg != "on" && arg != "off") return "error: " + verb + " on|off";
        flag = arg == "on";
        return "ok";
    };
    auto setCount = [&](int& value) -> std::string {
        auto n = count(arg);
        if (!n) return "error: " + verb + " needs a count";
        value = *n;
        return "ok";
    };
    static const char* const kOwn[] = {"mode",       "swap",  "reports",  "flash-fail", "reject",
                                       "mute",       "stall", "drop-ack", "unknown",    "stray",
                                       "erase-busy", "clear", "status",   "save"};
    if (std::find(std::begin(kOwn), std::end(kOwn), verb) == std::end(kOwn))
        return SimDevice::command(text);
    std::lock_guard l(lock_);
    if (verb == "mode") {
        if (arg != "download" && arg != "bootstrap") return "error: mode download|bootstrap";
        options_.mode = arg == "download" ? Mode::Download : Mode::Bootstrap;
        return "ok";
    }
    if (verb == "swap") return onOff(options_.swapped);
    if (verb == "reports") return onOff(reports_);
    if (verb == "flash-fail") return onOff(flashFail_);
    if (verb == "reject") return setCount(reject_);
    if (verb == "mute") return setCount(mute_);
    if (verb == "stall") {
        auto nth = arg2.empty() ? std::optional<int>(0) : count(arg2);
        if (!nth) return "error: stall MS [N]";
        stallRead_ = *nth;
        return setCount(stallMs_);
    }
    if (verb == "drop-ack") {
        char* end = nullptr;
        unsigned long a = std::strtoul(arg.c_str(), &end, 16);
        if (arg.empty() || *end != '\0') return "error: drop-ack HEXADDRESS";
        dropAcks_.insert(static_cast<std::uint32_t>(a));
        return "ok";
    }
    if (verb == "unknown") {
        if (!arg2.empty()) {
            if (arg2.size() != 2) return "error: unknown N [XY]";
            unknownCode_ = arg2;
        }
        return setCount(unknown_);
    }
    if (verb == "stray") {
        if (!arg2.empty()) {
            if (arg2.size() != 2) return "error: stray N [XY]";
            strayCode_ = arg2;
        }
        return setCount(stray_);
    }
    if (verb == "erase-busy") {
        if (arg == "stuck") {
            eraseBusyReads_ = -1;
            return "ok";
        }
        auto r = setCount(eraseBusyReads_);
        if (busyReads_ < 0) busyReads_ = 0;  // a stuck erase ends when the fault is taken back
        return r;
    }
    if (verb == "clear") {
        blocks_.clear();
        modeSwitches_.clear();
        longWrites_.clear();
        knownLength_ = bytesSinceStop_ = 0;
        badFrames_ = stopFrames_ = erases_ = 0;
        return "ok";
    }
    if (verb == "status") {
        std::ostringstream out;
        if (options_.mode == Mode::Download) {
            std::size_t bytes = 0;
            for (const auto& [n, b] : blocks_) bytes += b.size();
            out << "download: " << blocks_.size() << " blocks";
            if (!blocks_.empty())
                out << " (" << blocks_.begin()->first << ".." << blocks_.rbegin()->first << ")";
            out << ", " << bytes << " bytes, " << modeSwitches_.size() << " mode-switch commands, "
                << badFrames_ << " bad frames, " << stopFrames_ << " stop frames";
        } else {
            char range[64] = "nothing programmed";
            if (lowestProgrammed_ <= highestProgrammed_)
                std::snprintf(range, sizeof range, "programmed 0x%08X..0x%08X",
                              flashBase() + 2 * lowestProgrammed_,
                              flashBase() + 2 * highestProgrammed_ + 1);
            out << "bootstrap: " << erases_ << " sector erases, " << range << ", "
                << longWrites_.size() << " long writes";
        }
        return out.str();
    }
    if (arg.empty()) return "error: save FILE";
    return saveTo(arg) ? "ok" : "error: cannot write " + arg;
}

bool Z7Device::saveTo(const std::string& file) const {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    if (options_.mode == Mode::Download) {
        for (const auto& [n, b] : blocks_)
            out.write(reinterpret_cast<const char*>(b.data()),
                      static_cast<std::streamsize>(b.size()));
    } else if (lowestProgrammed_ <= highestProgrammed_) {
        for (std::uint32_t i = lowestProgrammed_; i <= highestProgrammed_; ++i) {
            std::uint16_t w = flash_[i];
            char two[2] = {static_cast<char>(options_.bigEndian ? w >> 8 : w & 0xFF),
                           static_cast<char>(options_.bigEndian ? w & 0xFF : w >> 8)};
            out.write(two, 2);
        }
    }
    return static_cast<bool>(out);
}

std::vector<Z7Device::ModeSwitch> Z7Device::modeSwitches() const {
    std::lock_guard l(lock_);
    return modeSwitches_;
}

std::map<std::uint16_t, Bytes> Z7Device::blocks() const {
    std::lock_guard l(lock_);
    return blocks_;
}

std::size_t Z7Device::blockCount() const {
    std::lock_guard l(lock_);
    return blocks_.size();
}

int Z7Device::badFrames() const {
    std::lock_guard l(lock_);
    return badFrames_;
}

int Z7Device::stopFrames() const {
    std::lock_guard l(lock_);
    return stopFrames_;
}

std::uint16_t Z7Device::flashWord(std::uint32_t address) const {
    std::lock_guard l(lock_);
    std::uint32_t i = (address - flashBase()) / 2;
    return i < flash_.size() ? flash_[i] : 0;
}

Bytes Z7Device::flashBytes(std::uint32_t address, std::size_t count) const {
    Bytes out;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint16_t w = flashWord(static_cast<std::uint32_t>((address + i) & ~1u));
        bool high = ((address + i) & 1) == (options_.bigEndian ? 0u : 1u);
        out.push_back(static_cast<std::uint8_t>(high ? w >> 8 : w & 0xFF));
    }
    return out;
}

std::uint16_t Z7Device::ramWord(std::uint32_t address) const {
    std::lock_guard l(lock_);
    const std::uint32_t ramBase = options_.deviceType == 2 ? 0xA0000000u : 0x08000000u;
    std::uint32_t i = (address - ramBase) / 2;
    return i < ram_.size() ? ram_[i] : 0;
}

std::vector<Z7Device::LongWrite> Z7Device::longWrites() const {
    std::lock_guard l(lock_);
    return longWrites_;
}

int Z7Device::erases() const {
    std::lock_guard l(lock_);
    return erases_;
}

}  // namespace sim
