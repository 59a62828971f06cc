#include "sim/sim_device.h"

#include <cstdlib>
#include <sstream>

#include "platform/port_map.h"

namespace sim {

SimDevice::~SimDevice() {
    stop();
}

bool SimDevice::start(const std::string& mapFile, int com, const std::string& displayName) {
    stop();
    if (!line_.open()) return false;
    mapFile_ = mapFile;
    com_ = com;
    if (!platform::registerPort(mapFile, {com, line_.devicePath(), displayName, false})) {
        line_.close();
        return false;
    }
    // The device thread waits on the line; closing it is what wakes those waits.
    worker_.setStopHook([this] { line_.close(); });
    if (!worker_.start([this](std::stop_token st) { serve(st); })) {
        stop();
        return false;
    }
    return true;
}

void SimDevice::stop() {
    worker_.stop();
    unregister();
    line_.close();
}

void SimDevice::vanish() {
    unregister();
    line_.close();
}

std::string SimDevice::command(const std::string& text) {
    std::istringstream in(text);
    std::string verb, arg;
    in >> verb >> arg;
    if ((verb == "pace" || verb == "silent") && (arg == "on" || arg == "off")) {
        if (verb == "pace")
            line_.setPacing(arg == "on");
        else
            line_.setSilent(arg == "on");
        return "ok";
    }
    if (verb == "garbage") {
        Bytes bytes;
        for (std::string hex = arg; !hex.empty(); hex.clear(), in >> hex) {
            char* end = nullptr;
            long v = std::strtol(hex.c_str(), &end, 16);
            if (*end != '\0' || v < 0 || v > 255) return "error: not a hex byte: " + hex;
            bytes.push_back(static_cast<std::uint8_t>(v));
        }
        if (bytes.empty()) bytes = {0x55, 0xAA, 0x00, 0xFF};
        line_.sendRaw(bytes.data(), bytes.size());
        return "ok";
    }
    if (verb == "vanish") {
        vanish();
        return "ok";
    }
    return "error: unknown command: " + text;
}

void SimDevice::unregister() {
    if (!mapFile_.empty()) platform::unregisterPort(mapFile_, com_);
    mapFile_.clear();
}

}  // namespace sim
