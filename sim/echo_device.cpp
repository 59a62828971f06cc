#include "sim/echo_device.h"

namespace sim {

void EchoDevice::serve(std::stop_token stop) {
    std::uint8_t buf[256];
    while (!stop.stop_requested() && line().isOpen()) {
        std::size_t n = line().read(buf, sizeof buf, milliseconds(20));
        if (n > 0) line().send(buf, n);
    }
}

}  // namespace sim
