#include "platform/modem_lines.h"

#include "platform/precise_time.h"

namespace platform {

void DeviceModemLines::pause(std::chrono::milliseconds duration) {
    sleepUntil(Deadline(duration));
}

}  // namespace platform
