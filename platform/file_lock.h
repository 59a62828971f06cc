// An advisory lock on a lock file, held for the object's life; used to serialise
// read-modify-write of small shared files between processes.
#pragma once

#include <string>

namespace platform {

class FileLock {
public:
    explicit FileLock(const std::string& lockFile);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locked() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace platform
