#include "platform/modem_lines.h"

#include <thread>

namespace platform {

void DeviceModemLines::pause(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

}  // namespace platform
