#include "sim/scanner_device.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/deadline.h"
#include "serial/display_text.h"
#include "serial/ymodem.h"
#include "sim/jpeg_encoder.h"
#include "sim/ymodem_receive.h"

namespace sim {

namespace {

constexpr std::uint8_t ESC = 0x1B, CR = 0x0D, ACK = 0x06, ETB = 0x17, NAK = 0x15, CAN = 0x18;
constexpr std::uint8_t kFileRequest = 'C';  // the YMODEM receiver's request for the batch
constexpr milliseconds kByteWait{500};      // between the bytes of one request or command
constexpr milliseconds kAckWait{5000};      // the program reads a block within about a second
constexpr std::size_t kTextLimit = 600;
constexpr std::size_t kShortHeaderBytes = 60;
constexpr std::size_t kHeaderBytes = 128;
const Bytes kNoise = {0x55, 0xAA, 0x00, 0xFF, 0x0A, 0x23, 0x3B};  // no ':' among them
// A scanner gets ready for its firmware before it asks for the file, so the request does not
// reach a program still reading the ACK.
constexpr milliseconds kFirmwarePrepare{50};
// Without a block for this long, the NAKing scanner takes the sender to have given up.
constexpr milliseconds kSenderGone{2000};
constexpr milliseconds kBlockQuiet{100};  // longer than a byte takes at 600 baud
constexpr std::size_t kTimeDigits = 14;

std::string unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        char c = s[++i];
        switch (c) {
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'e':
                out += '\x1b';
                break;
            case 's':
                out += ' ';
                break;
            case 'x': {
                std::string hex = s.substr(i + 1, 2);
                char* end = nullptr;
                long v = std::strtol(hex.c_str(), &end, 16);
                if (hex.empty() || end == hex.c_str()) {
                    out += 'x';
                    break;
                }
                out += static_cast<char>(v);
                i += static_cast<std::size_t>(end - hex.c_str());
                break;
            }
            default:
                out += c;
        }
    }
    return out;
}

void putBig(Bytes& out, std::uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

bool readFile(const std::string& path, Bytes& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace

Bytes generateGreyPicture(int width, int height) {
    // Bars and spaces alternate with these widths in modules, as the digits of a 1D barcode.
    static const char kWidths[] = "111321122212221411113213212311114131231132111";
    Bytes pixels(std::size_t(width) * std::size_t(height));
    int left = width / 8, right = width - width / 8, top = height * 3 / 8, bottom = height * 5 / 8;
    int module = std::max(1, width / 120);
    std::vector<bool> bars;
    for (int k = 0; bars.size() < std::size_t(right - left + 1);
         k = (k + 1) % int(sizeof kWidths - 1))
        bars.insert(bars.end(), std::size_t((kWidths[k] - '0') * module), k % 2 == 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int v = 70 + 110 * x / std::max(1, width) + 50 * y / std::max(1, height);
            if (y >= top && y < bottom && x >= left && x < right)
                v = bars[std::size_t(x - left)] ? 20 : 240;
            pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] =
                static_cast<std::uint8_t>(v);
        }
    }
    return pixels;
}

Bytes formatScannerHeader(const SeenRequest& r, int divisor, int blocks, std::size_t pictureBytes) {
    std::string h(kHeaderBytes, ' ');
    auto put = [&](std::size_t at, const std::string& text) {
        if (at < h.size())
            std::copy_n(text.begin(), std::min(text.size(), h.size() - at), h.begin() + long(at));
    };
    auto number = [&](std::size_t at, long long v) {
        char field[16];
        std::snprintf(field, sizeof field, "%6lld", v);
        put(at, field);
    };
    put(0, "@VELTHDR X0");
    number(11, r.x0);
    put(17, ",");
    number(18, r.y0);
    put(24, ",");
    number(25, r.x1);
    put(31, ",");
    number(32, r.y1);
    put(38, " D");
    number(40, divisor);
    put(48, "Q");
    number(49, r.quality);
    put(56, r.jpeg ? "JPEG" : "GREY");
    put(64, "N (blocks)");
    number(81, blocks);
    put(88, "LEN");
    number(91, static_cast<long long>(pictureBytes));
    put(100, "VELTRIX SIMULATED");
    put(kHeaderBytes - 2, "\r\n");
    return Bytes(h.begin(), h.end());
}

ScannerDevice::ScannerDevice() {
    config_.replies = {
        {"Z1", "Veltrix 2D Imager SIM V1.10\r"},
        {"[OOQ", "LASER OK\r"},
        {"[OOU", "CAMERA OK\r"},
        {"[OOV", "CALIBRATED\r"},
        {"[OOT", "RACK 000 000 000\r"},
        {"[OO3", "DEBUG OK\r"},
        {"[QO3", "KTR DEFAULT\r"},
        {"Z2", "SAVED\r"},
    };
}

void ScannerDevice::setPicture(Bytes jpeg) {
    std::lock_guard l(lock_);
    config_.picture = std::move(jpeg);
}

void ScannerDevice::setJpegSize(std::size_t bytes) {
    std::lock_guard l(lock_);
    config_.jpegSize = bytes;
}

void ScannerDevice::setBlockSize(std::size_t bytes) {
    std::lock_guard l(lock_);
    config_.blockSize = std::clamp<std::size_t>(bytes, 1, kBlockLimit);
}

void ScannerDevice::setFaults(const ScannerFaults& faults) {
    std::lock_guard l(lock_);
    config_.faults = faults;
}

void ScannerDevice::setReply(const std::string& command, std::optional<std::string> reply) {
    std::lock_guard l(lock_);
    if (reply)
        config_.replies[command] = *reply;
    else
        config_.replies.erase(command);
}

void ScannerDevice::setEtbReply(const std::string& reply) {
    std::lock_guard l(lock_);
    config_.etbReply = reply;
}

void ScannerDevice::setOwnRates(std::vector<unsigned> rates) {
    if (rates.empty()) return;
    std::lock_guard l(lock_);
    config_.ownRates = std::move(rates);
}

std::vector<unsigned> ScannerDevice::ownRates() const {
    std::lock_guard l(lock_);
    return config_.ownRates;
}

std::optional<ReceivedFirmware> ScannerDevice::firmware() const {
    std::lock_guard l(lock_);
    return firmware_;
}

std::vector<std::string> ScannerDevice::timesSet() const {
    std::lock_guard l(lock_);
    return timesSet_;
}

std::vector<ReceivedConfiguration> ScannerDevice::configurations() const {
    std::lock_guard l(lock_);
    return configurations_;
}

std::string ScannerDevice::trigger() {
    if (!waitingForTrigger_) return "ignored: not waiting for a trigger";
    triggered_ = true;
    return "triggered";
}

std::vector<SeenRequest> ScannerDevice::requests() const {
    std::lock_guard l(lock_);
    return requests_;
}

Bytes ScannerDevice::lastPicture() const {
    std::lock_guard l(lock_);
    return lastPicture_;
}

ScannerDevice::Config ScannerDevice::config() const {
    std::lock_guard l(lock_);
    return config_;
}

std::string ScannerDevice::command(const std::string& text) {
    std::istringstream in(text);
    std::string verb, arg;
    in >> verb;
    std::getline(in >> std::ws, arg);
    auto numberArg = [&](const std::string& a, long& v) {
        char* end = nullptr;
        v = std::strtol(a.c_str(), &end, 10);
        return !a.empty() && *end == '\0' && v >= 0;
    };
    if (verb == "trigger") return trigger();
    if (verb == "status") {
        std::lock_guard l(lock_);
        std::string rates;
        for (unsigned r : config_.ownRates) {
            if (!rates.empty()) rates += ',';
            rates += std::to_string(r);
        }
        return "requests " + std::to_string(requests_.size()) + ", pictures " +
               std::to_string(completed_) +
               (waitingForTrigger_ ? ", waiting for the trigger" : "") + ", rate " + rates +
               ", firmware requests " + std::to_string(firmwareRequests_) + ", times set " +
               std::to_string(timesSet_.size()) +
               (timesSet_.empty() ? "" : " (last " + timesSet_.back() + ")") + ", configurations " +
               std::to_string(configurations_.size());
    }
    if (verb == "configuration") {
        auto taken = configurations();
        if (taken.empty()) return "no configuration";
        return std::string("configuration ") + (taken.back().permanent ? "permanent " : "") +
               serial::displayText(taken.back().text);
    }
    if (verb == "rate") {
        std::vector<unsigned> rates;
        std::istringstream list(arg);
        for (std::string r; std::getline(list, r, ',');) {
            long v = 0;
            if (!numberArg(r, v) || v < 50 || v > 4000000)
                return "error: rate needs baud rates such as 9600 or 9600,19200";
            rates.push_back(static_cast<unsigned>(v));
        }
        if (rates.empty()) return "error: rate needs baud rates such as 9600 or 9600,19200";
        setOwnRates(std::move(rates));
        return "ok";
    }
    if (verb == "firmware") {
        auto f = firmware();
        if (!f) return "no firmware";
        return "firmware " + f->name + " " + std::to_string(f->bytes.size()) + " bytes";
    }
    if (verb == "save-firmware") {
        auto f = firmware();
        if (!f) return "error: no firmware received";
        if (arg.empty()) return "error: save-firmware needs a file name";
        std::ofstream out(arg, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(f->bytes.data()),
                  static_cast<std::streamsize>(f->bytes.size()));
        if (!out.flush()) return "error: cannot write " + arg;
        return "ok";
    }
    if (verb == "fault") {
        std::istringstream a(arg);
        std::string name, n;
        a >> name >> n;
        long k = 0;
        bool hasNumber = numberArg(n, k);
        std::lock_guard l(lock_);
        ScannerFaults& f = config_.faults;
        int* block = name == "noise"      ? &f.noiseBeforeBlock
                     : name == "bad-end"  ? &f.badEndBlock
                     : name == "missing"  ? &f.missingBlock
                     : name == "oversize" ? &f.oversizeBlock
                     : name == "vanish"   ? &f.vanishAtBlock
                     : name == "blocks"   ? &f.announcedBlocks
                                          : nullptr;
        if (block) {
            if (!hasNumber) return "error: fault " + name + " needs a block number";
            *block = static_cast<int>(k);
        } else if (name == "divisor0") {
            f.divisorZero = true;
        } else if (name == "short-header") {
            f.shortHeader = true;
        } else if (name == "mute-ack") {
            f.muteAck = true;
        } else if (name == "bad-ack") {
            f.badAck = true;
        } else if (name == "fw-silence") {
            f.firmwareSilence = true;
        } else if (name == "fw-nak") {
            f.firmwareNak = true;
        } else if (name == "fw-cancel") {
            f.firmwareCancel = true;
        } else if (name == "fw-stray-ack") {
            f.firmwareStrayAck = true;
        } else if (name == "config-refuse") {
            f.refuseConfiguration = true;
        } else if (name == "none") {
            f = {};
        } else {
            return "error: unknown fault: " + name;
        }
        return "ok";
    }
    if (verb == "reply" || verb == "etb-reply") {
        if (verb == "etb-reply") {
            setEtbReply(unescape(arg));
            return "ok";
        }
        std::istringstream a(arg);
        std::string key, answer;
        a >> key;
        if (key.empty()) return "error: reply needs the command text";
        std::getline(a >> std::ws, answer);
        setReply(unescape(key),
                 answer.empty() ? std::nullopt : std::optional<std::string>(unescape(answer)));
        return "ok";
    }
    if (verb == "picture") {
        if (arg == "generated") {
            setPicture({});
            return "ok";
        }
        Bytes jpeg;
        if (!readFile(arg, jpeg)) return "error: cannot read " + arg;
        setPicture(std::move(jpeg));
        return "ok";
    }
    if (verb == "jpeg-size" || verb == "block-size") {
        long v = 0;
        if (!numberArg(arg, v)) return "error: " + verb + " needs a number";
        if (verb == "jpeg-size")
            setJpegSize(static_cast<std::size_t>(v));
        else if (v < 1 || v > static_cast<long>(kBlockLimit))
            return "error: block-size is 1.." + std::to_string(kBlockLimit);
        else
            setBlockSize(static_cast<std::size_t>(v));
        return "ok";
    }
    return SimDevice::command(text);
}

std::optional<std::uint8_t> ScannerDevice::next(std::stop_token& stop, milliseconds wait) {
    if (queueAt_ < queue_.size()) return queue_[queueAt_++];
    if (stop.stop_requested()) return std::nullopt;
    std::uint8_t buf[512];
    std::size_t n = line().read(buf, sizeof buf, wait);
    if (n == 0) return std::nullopt;
    queue_.assign(buf, buf + n);
    queueAt_ = 1;
    return queue_[0];
}

ScannerDevice::Rate ScannerDevice::rate() {
    auto s = line().programSettings();
    if (!s) return Rate::Foreign;
    bool picture = s->baudRate == kBaudRate;
    auto own = ownRates();
    bool isOwn = std::find(own.begin(), own.end(), s->baudRate) != own.end();
    return picture && isOwn ? Rate::Both
           : picture        ? Rate::Picture
           : isOwn          ? Rate::Own
                            : Rate::Foreign;
}

void ScannerDevice::serve(std::stop_token stop) {
    while (!stop.stop_requested() && line().isOpen()) {
        auto b = next(stop, milliseconds(50));
        if (!b) continue;
        Rate at = rate();
        if (at == Rate::Foreign) continue;
        if (*b == ETB && at != Rate::Own) {
            std::string reply = config().etbReply;
            if (!reply.empty()) line().send(reply);
        } else if (*b == ESC) {
            handleEscape(stop);
        }
    }
}

void ScannerDevice::handleEscape(std::stop_token& stop) {
    std::string text;
    for (;;) {
        auto b = next(stop, kByteWait);
        if (!b || text.size() > kTextLimit) return;
        if (*b == CR) break;
        text += static_cast<char>(*b);
    }
    Rate at = rate();
    if (at == Rate::Foreign) return;
    if (at != Rate::Picture && handleInstallerCommand(stop, text)) return;
    if (text != "((") {
        handleCommand(text);
        return;
    }
    if (at == Rate::Own) return;  // the picture protocol runs at 115200 only
    std::string request = "\x1b((\r";
    for (;;) {
        auto b = next(stop, kByteWait);
        if (!b || request.size() > kTextLimit) return;
        request += static_cast<char>(*b);
        if (*b == '#') break;
    }
    handleRequest(stop, request);
}

void ScannerDevice::handleCommand(const std::string& text) {
    auto cfg = config();
    auto it = cfg.replies.find(text);
    if (it == cfg.replies.end() && text.rfind("[OOU", 0) == 0) it = cfg.replies.find("[OOU");
    if (it != cfg.replies.end()) line().send(it->second);
}

bool ScannerDevice::handleInstallerCommand(std::stop_token& stop, const std::string& text) {
    const ScannerFaults faults = config().faults;
    const Bytes answer = faults.muteAck ? Bytes{} : Bytes{faults.badAck ? NAK : ACK};
    if (text == "WC") {
        line().send(Bytes{ACK});
        return true;
    }
    if (text.size() == 1 + kTimeDigits && text[0] == 'T' &&
        std::all_of(text.begin() + 1, text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        if (!faults.muteAck && !faults.badAck) {
            std::lock_guard l(lock_);
            timesSet_.push_back(text.substr(1));
        }
        line().send(answer);
        return true;
    }
    if (text == "B") return true;
    // A malformed time or picture request is not taken for a configuration.
    const bool looksLikeTime =
        text.size() > 1 && text[0] == 'T' && std::isdigit(static_cast<unsigned char>(text[1]));
    if (text != "FW" && text != "Z1" && text != "Z" && text.rfind("((", 0) != 0 && !looksLikeTime &&
        !config().replies.count(text)) {
        takeConfiguration(text, faults);
        return true;
    }
    if (text == "FW") {
        {
            std::lock_guard l(lock_);
            firmware_.reset();  // what it held goes as the new file comes
        }
        ++firmwareRequests_;
        line().send(answer);
        if (faults.muteAck || faults.badAck) return true;
        receiveFirmware(stop, faults);
        return true;
    }
    return false;
}

void ScannerDevice::takeConfiguration(const std::string& text, const ScannerFaults& faults) {
    if (faults.refuseConfiguration) {
        line().send(Bytes{NAK});
        return;
    }
    line().send(Bytes{ACK});
    const bool permanent = text.size() >= 2 && text.compare(text.size() - 2, 2, "Z2") == 0;
    {
        std::lock_guard l(lock_);
        configurations_.push_back({text, permanent});
    }
    // The simulator's own marker: the configuration sets the scanner's rate.
    static const std::regex kRateMarker("rate=([0-9]{3,7})");
    std::smatch m;
    if (std::regex_search(text, m, kRateMarker)) {
        unsigned rate = static_cast<unsigned>(std::stoul(m[1].str()));
        if (rate >= 50 && rate <= 4000000) setOwnRates({rate});
    }
}

void ScannerDevice::receiveFirmware(std::stop_token& stop, const ScannerFaults& faults) {
    if (faults.firmwareSilence) return;
    std::this_thread::sleep_for(kFirmwarePrepare);
    if (faults.firmwareNak) {
        answerEveryBlockWithNak(stop);
        return;
    }
    if (faults.firmwareCancel) {
        line().send(Bytes{kFileRequest});
        auto header = next(stop, kAckWait);
        if (!header) return;
        line().send(Bytes{CAN, CAN, CAN});
        drainRestOfBlock(stop, *header);
        return;
    }
    BatchReceipt receipt =
        receiveYmodemBatch(line(), queue_, queueAt_, stop, faults.firmwareStrayAck);
    if (receipt.files.empty()) return;
    std::lock_guard l(lock_);
    firmware_ = ReceivedFirmware{receipt.files.back().name, receipt.files.back().bytes};
}

void ScannerDevice::answerEveryBlockWithNak(std::stop_token& stop) {
    line().send(Bytes{kFileRequest});
    int cans = 0;
    for (auto b = next(stop, kSenderGone); b; b = next(stop, kSenderGone)) {
        // A block is through when the line goes quiet; then its NAK.
        for (; b; b = next(stop, kBlockQuiet)) {
            cans = *b == CAN ? cans + 1 : 0;
            if (cans == 2) return;
        }
        line().send(Bytes{NAK});
    }
}

// Only the block the sender had started: a command that follows at once stays unread.
void ScannerDevice::drainRestOfBlock(std::stop_token& stop, std::uint8_t header) {
    std::size_t rest = serial::ymodemBlockLength(header);
    for (std::size_t i = 1; i < rest && next(stop, kBlockQuiet); ++i) {
    }
}

bool ScannerDevice::waitForTrigger(std::stop_token& stop) {
    triggered_ = false;
    waitingForTrigger_ = true;
    bool go = false;
    while (!stop.stop_requested() && line().isOpen()) {
        if (triggered_.exchange(false)) {
            go = true;
            break;
        }
        auto b = next(stop, milliseconds(20));
        if (!b) continue;
        if (*b == ETB) break;  // the program gave up
        if (*b != ESC) continue;
        std::string text;
        for (auto c = next(stop, kByteWait); c && *c != CR && text.size() < kTextLimit;
             c = next(stop, kByteWait))
            text += static_cast<char>(*c);
        if (text == "Z")
            triggered_ = true;  // the trigger command
        else
            handleCommand(text);
    }
    waitingForTrigger_ = false;
    return go;
}

ScannerDevice::Wait ScannerDevice::waitForAck(std::stop_token& stop) {
    const platform::Deadline end(kAckWait);
    while (!end.expired()) {
        if (stop.stop_requested() || !line().isOpen()) return Wait::Stopped;
        auto b = next(stop, milliseconds(50));
        if (!b) continue;
        if (*b == ACK) return Wait::Ack;
        if (*b == ETB) return Wait::Etb;
    }
    return Wait::Timeout;
}

std::optional<SeenRequest> parsePictureRequest(const std::string& text) {
    SeenRequest r;
    r.text = text;
    int one = 0, bits = 0, mode = 0, zero1 = 0, zero2 = 0, snapshot = 0;
    auto at = text.find("@VELT,");
    if (at == std::string::npos ||
        std::sscanf(text.c_str() + at + 6, "%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d#", &r.x0, &r.y0,
                    &r.x1, &r.y1, &one, &bits, &r.requestFlags, &r.quality, &snapshot, &mode,
                    &zero1, &zero2) != 12)
        return std::nullopt;
    r.snapshot = snapshot == 1;
    r.jpeg = mode == 1;
    return r;
}

void ScannerDevice::handleRequest(std::stop_token& stop, const std::string& text) {
    auto parsed = parsePictureRequest(text);
    if (!parsed) return;  // not a request this scanner understands
    const SeenRequest& r = *parsed;
    {
        std::lock_guard l(lock_);
        requests_.push_back(r);
    }
    if (r.snapshot && !waitForTrigger(stop)) return;

    Config cfg = config();
    // In 64 bits: a window from a hostile request may span the whole int range.
    auto side = [](int from, int to) {
        return static_cast<int>(
            std::clamp<long long>(static_cast<long long>(to) - from + 1, 1, kPictureSideLimit));
    };
    int width = side(r.x0, r.x1);
    int height = side(r.y0, r.y1);
    Bytes picture;
    if (!r.jpeg) {
        picture = generateGreyPicture(width, height);
    } else if (!cfg.picture.empty()) {
        picture = cfg.picture;
    } else {
        Bytes grey = generateGreyPicture(width, height);
        picture = encodeGreyJpeg(grey.data(), width, height, r.quality);
        if (cfg.jpegSize) picture = padJpeg(std::move(picture), cfg.jpegSize);
    }
    {
        std::lock_guard l(lock_);
        lastPicture_ = picture;
    }

    const ScannerFaults& f = cfg.faults;
    std::size_t dataBlocks = (picture.size() + cfg.blockSize - 1) / cfg.blockSize;
    int blocks = f.announcedBlocks > 0 ? f.announcedBlocks : static_cast<int>(1 + dataBlocks);
    std::size_t area = std::size_t(width) * std::size_t(height);
    int divisor = r.jpeg && !picture.empty()
                      ? static_cast<int>(std::max<std::size_t>(1, area / picture.size()))
                      : 1;
    if (f.divisorZero) divisor = 0;
    Bytes header = formatScannerHeader(r, divisor, blocks, picture.size());
    if (f.shortHeader) header.resize(kShortHeaderBytes);

    for (std::size_t k = 0; k <= dataBlocks; ++k) {
        int block = static_cast<int>(k);
        if (block == f.vanishAtBlock) {
            vanish();
            return;
        }
        if (block == f.missingBlock) continue;
        Bytes payload;
        if (k == 0) {
            payload = header;
        } else {
            std::size_t from = (k - 1) * cfg.blockSize;
            payload.assign(picture.begin() + static_cast<long>(from),
                           picture.begin() +
                               static_cast<long>(std::min(picture.size(), from + cfg.blockSize)));
        }
        if (block == f.oversizeBlock) payload.resize(kBlockLimit + 1, 0x55);
        Bytes frame;
        if (block == f.noiseBeforeBlock) frame = kNoise;
        frame.push_back(':');
        putBig(frame, static_cast<std::uint32_t>(k), 2);
        putBig(frame, static_cast<std::uint32_t>(payload.size()), 4);
        frame.insert(frame.end(), payload.begin(), payload.end());
        unsigned sum = 0;
        for (auto b : payload) sum += b;
        putBig(frame, sum & 0xFFFF, 2);
        frame.push_back(block == f.badEndBlock ? 'X' : CR);
        if (!line().send(frame)) return;
        if (waitForAck(stop) != Wait::Ack) return;
    }
    ++completed_;
}

}  // namespace sim
