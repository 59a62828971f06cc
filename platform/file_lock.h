// An advisory lock on a lock file, held for the object's life; used to serialise
// read-modify-write of small shared files between processes.
#pragma once

#include <string>

#include "platform/system_error.h"

namespace platform {

class FileLock {
public:
    explicit FileLock(const std::string& lockFile);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locked() const { return fd_ >= 0; }
    // Why it is not locked.
    const SystemError& error() const { return error_; }

private:
    int fd_ = -1;
    SystemError error_;
};

}  // namespace platform
