// Opening COM n: the one way every program opens a port by its number, and the one wording of
// why it could not be opened (the user's next step: join the device's group, close the
// program holding it, plug the device in or fix the port map).
#pragma once

#include <string>

#include "platform/serial_device.h"
#include "platform/system_error.h"

namespace serial {

// Resolves COM n through the port map and opens it exclusively on device (raw, no flow
// control; see platform/serial_device.h). Nothing when it is open, else why not: ENOENT with
// "COMn is not in the port map" when the map has no such port, or the device's own reason.
platform::SystemError openComPort(platform::SerialDevice& device, int portNumber);

// One line telling the user why COM n (or the device at path) could not be opened and what to
// do about it; empty for no error.
std::string cannotOpenAdvice(const platform::SystemError& error, int portNumber);
std::string cannotOpenAdvice(const platform::SystemError& error, const std::string& devicePath);

}  // namespace serial
