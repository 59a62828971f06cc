#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

FileLock::FileLock(const std::string& lockFile) {
    int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error_ = SystemError::fromErrno();
        return;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            error_ = SystemError::fromErrno();
            ::close(fd);
            return;
        }
    }
    fd_ = fd;
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace platform
