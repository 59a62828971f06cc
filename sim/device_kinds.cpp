#include "sim/device_kinds.h"

#include <optional>

#include "sim/echo_device.h"
#include "sim/scanner_device.h"
#include "sim/z7_device.h"

namespace sim {

namespace {

std::unique_ptr<SimDevice> makeEcho(const std::vector<std::string>& options, std::string& error) {
    if (!options.empty()) {
        error = "echo takes no options: " + options.front();
        return nullptr;
    }
    return std::make_unique<EchoDevice>();
}

// Each option is one of the scanner's control commands, given at start.
std::unique_ptr<SimDevice> makeScanner(const std::vector<std::string>& options,
                                       std::string& error) {
    auto scanner = std::make_unique<ScannerDevice>();
    for (std::size_t i = 0; i < options.size(); ++i) {
        const std::string& o = options[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= options.size()) return std::nullopt;
            return options[++i];
        };
        std::string command;
        if (o == "--jpeg" || o == "--jpeg-size" || o == "--block-size" || o == "--etb-reply" ||
            o == "--rate") {
            auto v = value();
            if (!v) {
                error = o + " needs a value";
                return nullptr;
            }
            command = (o == "--jpeg" ? std::string("picture") : o.substr(2)) + " " + *v;
        } else if (o == "--fault" || o == "--reply") {
            auto v = value();
            auto eq = v ? v->find('=') : std::string::npos;
            if (!v || (o == "--reply" && eq == std::string::npos)) {
                error = o == "--fault" ? "--fault needs NAME[=N]" : "--reply needs TEXT=ANSWER";
                return nullptr;
            }
            command = o.substr(2) + " " +
                      (eq == std::string::npos ? *v : v->substr(0, eq) + " " + v->substr(eq + 1));
        } else {
            error = "unknown scanner option: " + o;
            return nullptr;
        }
        std::string answer = scanner->command(command);
        if (answer.rfind("error:", 0) == 0) {
            error = answer.substr(7);
            return nullptr;
        }
    }
    return scanner;
}

}  // namespace

const std::vector<DeviceKind>& deviceKinds() {
    static const std::vector<DeviceKind> kinds = {
        {"echo", "", makeEcho},
        {"scanner",
         "[--jpeg FILE] [--jpeg-size BYTES] [--block-size N] [--reply TEXT=ANSWER]... [--etb-reply "
         "ANSWER]\n"
         "          [--rate N[,N...]] [--fault NAME[=N]]...   the 2D scanner; commands: trigger,\n"
         "          fault NAME [N], fault none, reply TEXT [ANSWER], etb-reply [ANSWER],\n"
         "          picture FILE|generated, jpeg-size N, block-size N, rate N[,N...], firmware,\n"
         "          save-firmware FILE, status",
         makeScanner},
        {"z7", Z7Device::usage(), Z7Device::make},
    };
    return kinds;
}

}  // namespace sim
