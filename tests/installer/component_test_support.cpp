#include "tests/installer/component_test_support.h"

#include <cstdio>
#include <random>
#include <thread>

#include "installer/engine/loader_interface.h"
#include "platform/deadline.h"

namespace testcomponents {

namespace {

// One record line: the prefix, then the bytes in hex with their checksum.
std::string record(const char* prefix, std::vector<std::uint8_t> bytes, bool hexSum) {
    unsigned sum = 0;
    for (auto b : bytes) sum += b;
    bytes.push_back(
        static_cast<std::uint8_t>(hexSum ? (0x100 - (sum & 0xFF)) & 0xFF : ~sum & 0xFF));
    std::string line = prefix;
    char hex[3];
    for (auto b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line + "\r\n";
}

}  // namespace

std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string s(size, '\0');
    for (auto& c : s) c = static_cast<char>(random() & 0xFF);
    return s;
}

std::string intelHex(const std::string& data, std::uint32_t address) {
    std::string out =
        record(":", {2, 0, 0, 4, std::uint8_t(address >> 24), std::uint8_t(address >> 16)}, true);
    for (std::size_t at = 0; at < data.size(); at += 32) {
        std::size_t n = std::min<std::size_t>(32, data.size() - at);
        std::uint16_t a = static_cast<std::uint16_t>(address + at);
        std::vector<std::uint8_t> r = {std::uint8_t(n), std::uint8_t(a >> 8), std::uint8_t(a), 0};
        r.insert(r.end(), data.begin() + long(at), data.begin() + long(at + n));
        out += record(":", r, true);
    }
    return out + ":00000001FF\r\n";
}

std::string sRecords(const std::string& data, std::uint32_t address) {
    std::string out = record("S0", {6, 0, 0, 'f', 'w', 0}, false);
    for (std::size_t at = 0; at < data.size(); at += 32) {
        std::size_t n = std::min<std::size_t>(32, data.size() - at);
        std::uint32_t a = address + static_cast<std::uint32_t>(at);
        std::vector<std::uint8_t> r = {std::uint8_t(n + 4), std::uint8_t(a >> 16),
                                       std::uint8_t(a >> 8), std::uint8_t(a)};
        r.insert(r.end(), data.begin() + long(at), data.begin() + long(at + n));
        out += record("S2", r, false);
    }
    return out + record("S8",
                        {4, std::uint8_t(address >> 16), std::uint8_t(address >> 8),
                         std::uint8_t(address)},
                        false);
}

std::vector<fenwald::GantryStatus> loaderStatuses(CGantry1& loader, std::chrono::seconds limit) {
    std::vector<fenwald::GantryStatus> statuses;
    const platform::Deadline end(limit);
    while (!end.expired()) {
        auto e = loader.events().waitPop(std::chrono::milliseconds(50));
        if (!e) continue;
        auto s = fenwald::decodeGantryStatus(*e);
        if (!s) continue;
        statuses.push_back(*s);
        if (fenwald::gantry::endsOperation(s->code)) break;
    }
    return statuses;
}

TransferEvents transferEvents(CVeskctl1& transfer, std::chrono::seconds limit) {
    TransferEvents events;
    const platform::Deadline end(limit);
    while (!end.expired()) {
        auto e = transfer.events().waitPop(std::chrono::milliseconds(50));
        if (!e) continue;
        if (auto p = fenwald::decodeVeskProgress(*e)) events.progress.push_back(p->percent);
        if (auto s = fenwald::decodeVeskStatus(*e)) {
            events.statuses.push_back(*s);
            break;
        }
    }
    // Nothing may follow the final status.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    while (auto e = transfer.events().tryPop())
        if (auto s = fenwald::decodeVeskStatus(*e)) events.statuses.push_back(*s);
    return events;
}

}  // namespace testcomponents
