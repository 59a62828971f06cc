// The reason a system call failed, kept where it happened so the caller that knows what the
// user was doing can word the message. The OS code is errno here; windowsCode() gives the
// number the windows show (2 not found, 5 access denied or in use, ...).
#pragma once

#include <string>

namespace platform {

struct SystemError {
    int osCode = 0;    // errno value, 0 when nothing failed
    std::string text;  // the system's text for osCode, possibly with detail added

    explicit operator bool() const { return osCode != 0; }
    int windowsCode() const;

    // The error that errno holds now.
    static SystemError fromErrno();
    static SystemError fromCode(int errnoValue, std::string detail = {});
};

// errno -> the Windows system error code of the same meaning (31, "a device attached to the
// system is not functioning", when there is no closer one).
int windowsErrorCode(int errnoValue);

}  // namespace platform
