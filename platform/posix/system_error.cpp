#include "platform/system_error.h"

#include <cerrno>
#include <cstring>

namespace platform {

int windowsErrorCode(int e) {
    switch (e) {
        case 0:
            return 0;
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return 2;  // ERROR_FILE_NOT_FOUND
        case ENOTDIR:
            return 3;  // ERROR_PATH_NOT_FOUND
        case EMFILE:
        case ENFILE:
            return 4;  // ERROR_TOO_MANY_OPEN_FILES
        case EACCES:
        case EPERM:
        case EBUSY:
        case EWOULDBLOCK:
            return 5;  // ERROR_ACCESS_DENIED (also a port in use)
        case EBADF:
            return 6;  // ERROR_INVALID_HANDLE
        case ENOMEM:
            return 8;  // ERROR_NOT_ENOUGH_MEMORY
        case EEXIST:
            return 80;  // ERROR_FILE_EXISTS
        case EINVAL:
            return 87;  // ERROR_INVALID_PARAMETER
        case ENOSPC:
            return 112;  // ERROR_DISK_FULL
        case ENOTTY:
            return 1;  // ERROR_INVALID_FUNCTION
        case ETIMEDOUT:
            return 1460;  // ERROR_TIMEOUT
        case EIO:
            return 1117;  // ERROR_IO_DEVICE
        default:
            return 31;  // ERROR_GEN_FAILURE
    }
}

int SystemError::windowsCode() const {
    return windowsErrorCode(osCode);
}

SystemError SystemError::fromErrno() {
    return fromCode(errno);
}

SystemError SystemError::fromCode(int e, std::string detail) {
    SystemError err;
    err.osCode = e;
    err.text = std::strerror(e);
    if (!detail.empty()) err.text += " (" + detail + ")";
    return err;
}

}  // namespace platform
