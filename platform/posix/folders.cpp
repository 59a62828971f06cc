#include "platform/folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace platform {

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string home() {
    std::string h = env("HOME");
    return h.empty() ? "/" : h;
}

}  // namespace

std::string configFolder() {
    std::string x = env("XDG_CONFIG_HOME");
    return x.empty() ? joinPath(home(), ".config") : x;
}

std::string documentsFolder() {
    std::string x = env("XDG_DOCUMENTS_DIR");
    if (!x.empty()) return x;
    // xdg-user-dirs keeps it as XDG_DOCUMENTS_DIR="$HOME/Documents".
    std::ifstream dirs(joinPath(configFolder(), "user-dirs.dirs"));
    for (std::string line; std::getline(dirs, line);) {
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.rfind(key, 0) != 0) continue;
        std::string v = line.substr(key.size());
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        if (v.rfind("$HOME", 0) == 0) v = home() + v.substr(5);
        if (!v.empty() && isDirectory(v)) return v;
    }
    return home();
}

std::string tempFolder() {
    std::string t = env("TMPDIR");
    return t.empty() ? "/tmp" : t;
}

std::string executablePath() {
    std::vector<char> buf(256);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return "";
        if (static_cast<size_t>(n) < buf.size())
            return std::string(buf.data(), static_cast<size_t>(n));
        buf.resize(buf.size() * 2);
    }
}

std::string currentFolder() {
    std::vector<char> buf(256);
    for (;;) {
        if (::getcwd(buf.data(), buf.size())) return buf.data();
        if (errno != ERANGE) return "";
        buf.resize(buf.size() * 2);
    }
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string parentFolder(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isCharacterDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

namespace {

SystemError notRegular(mode_t mode) {
    if (S_ISDIR(mode)) return SystemError::fromCode(EISDIR);
    return SystemError{EINVAL, "is not a regular file"};
}

}  // namespace

int openRegularFile(const std::string& path, SystemError* err) {
    auto fail = [err](SystemError e) {
        if (err) *err = std::move(e);
        return -1;
    };
    // Looked at before opening, so a device is never opened (opening one can act on it).
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return fail(SystemError::fromErrno());
    if (!S_ISREG(st.st_mode)) return fail(notRegular(st.st_mode));
    // Non-blocking for the open alone: a FIFO put there since opens at once and is refused.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return fail(SystemError::fromErrno());
    SystemError e;
    int flags = -1;
    if (::fstat(fd, &st) != 0)
        e = SystemError::fromErrno();
    else if (!S_ISREG(st.st_mode))
        e = notRegular(st.st_mode);
    else if ((flags = ::fcntl(fd, F_GETFL)) < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        e = SystemError::fromErrno();
    if (e) {
        ::close(fd);
        return fail(std::move(e));
    }
    return fd;
}

std::FILE* openRegularFileStream(const std::string& path, SystemError* err) {
    const int fd = openRegularFile(path, err);
    if (fd < 0) return nullptr;
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        if (err) *err = SystemError::fromErrno();
        ::close(fd);
    }
    return f;
}

bool canReadRegularFile(const std::string& path, SystemError* err) {
    const int fd = openRegularFile(path, err);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool createDirectory(const std::string& path, SystemError* err) {
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    int e = errno;
    if (e == EEXIST && isDirectory(path)) return true;
    if (err) *err = SystemError::fromCode(e);
    return false;
}

bool createDirectories(const std::string& path) {
    if (path.empty() || isDirectory(path)) return true;
    std::string parent = parentFolder(path);
    if (parent != path && !createDirectories(parent)) return false;
    return createDirectory(path);
}

std::optional<std::string> createUniqueTempFile(const std::string& folder,
                                                const std::string& prefix, SystemError* err) {
    std::string pattern = joinPath(folder, prefix + "XXXXXX.tmp");
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    int fd = ::mkostemps(buf.data(), 4, O_CLOEXEC);
    if (fd < 0) {
        if (err) *err = SystemError::fromErrno();
        return std::nullopt;
    }
    ::close(fd);
    return std::string(buf.data());
}

namespace {

constexpr int kMaxLinks = 40;               // as the system follows them
constexpr std::size_t kTempNameBase = 200;  // leaves room for the marks within NAME_MAX

std::atomic<long long> writeLimit{-1};
std::atomic<int> writeLimitCode{ENOSPC};

// The mode a file newly made by this process gets: 0666 less the umask, which only the
// process's status tells without changing it for a moment for every thread.
mode_t newFileMode() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("Umask:", 0) == 0)
            return 0666 & ~static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    return 0644;
}

// How many of size bytes may be written before the test limit; size when there is none.
std::size_t allowedByLimit(std::size_t size) {
    long long left = writeLimit.load();
    for (;;) {
        if (left < 0) return size;
        const long long take = std::min<long long>(left, static_cast<long long>(size));
        if (writeLimit.compare_exchange_weak(left, left - take))
            return static_cast<std::size_t>(take);
    }
}

bool syncFolder(const std::string& folder, SystemError* err) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (err) *err = SystemError::fromErrno();
        return false;
    }
    const int r = ::fsync(fd);
    // Some file systems cannot sync a folder; what they hold is then as safe as it gets.
    const bool ok = r == 0 || errno == EINVAL || errno == ENOTSUP;
    if (!ok && err) *err = SystemError::fromErrno();
    ::close(fd);
    return ok;
}

}  // namespace

std::string linkTarget(const std::string& path) {
    std::string current = path;
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        std::vector<char> buf(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(current.c_str(), buf.data(), buf.size());
        if (n < 0 || static_cast<std::size_t>(n) >= buf.size()) return current;
        std::string next(buf.data(), static_cast<std::size_t>(n));
        current = next.front() == '/' ? next : joinPath(parentFolder(current), next);
    }
    return current;  // a loop: the rename then fails with the system's reason
}

DurableFile::~DurableFile() {
    discard();
}

bool DurableFile::fail(SystemError* err, SystemError why) {
    if (err) *err = std::move(why);
    discard();
    return false;
}

bool DurableFile::openTemporary(const std::string& folder, const std::string& name,
                                SystemError* err) {
    std::string pattern = joinPath(folder, "." + name.substr(0, kTempNameBase) + ".XXXXXX");
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int fd = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd < 0) return fail(err, SystemError::fromErrno());
    fd_ = fd;
    temp_ = buf.data();
    finished_ = false;
    return true;
}

bool DurableFile::begin(const std::string& path, SystemError* err) {
    discard();
    target_ = linkTarget(path);
    if (!openTemporary(parentFolder(target_), fileNameOf(target_), err)) return false;
    // mkstemp makes the file 0600: give it what the file it replaces had, or what a new file
    // of this process gets.
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        if (::fchmod(fd_, st.st_mode & 07777) != 0) return fail(err, SystemError::fromErrno());
        if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
            // Only root may give it back to its owner; anyone else's save makes it theirs.
            [[maybe_unused]] const int given = ::fchown(fd_, st.st_uid, st.st_gid);
        }
    } else if (::fchmod(fd_, newFileMode()) != 0) {
        return fail(err, SystemError::fromErrno());
    }
    return true;
}

bool DurableFile::beginNew(const std::string& folder, SystemError* err) {
    discard();
    target_.clear();
    if (!openTemporary(folder, "new", err)) return false;
    if (::fchmod(fd_, newFileMode()) != 0) return fail(err, SystemError::fromErrno());
    return true;
}

bool DurableFile::write(const void* data, std::size_t size, SystemError* err) {
    if (fd_ < 0) return fail(err, SystemError::fromCode(EBADF));
    const char* p = static_cast<const char*>(data);
    const std::size_t allowed = allowedByLimit(size);
    std::size_t done = 0;
    while (done < allowed) {
        const ssize_t w = ::write(fd_, p + done, allowed - done);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) return fail(err, SystemError::fromErrno());
        if (w == 0) return fail(err, SystemError::fromCode(ENOSPC));
        done += static_cast<std::size_t>(w);
    }
    if (allowed < size) return fail(err, SystemError::fromCode(writeLimitCode.load()));
    return true;
}

bool DurableFile::finish(SystemError* err) {
    if (finished_) return true;
    if (fd_ < 0) return fail(err, SystemError::fromCode(EBADF));
    if (::fsync(fd_) != 0) return fail(err, SystemError::fromErrno());
    const int fd = fd_;
    fd_ = -1;
    // Not retried: the descriptor is gone whatever close() says.
    if (::close(fd) != 0) return fail(err, SystemError::fromErrno());
    finished_ = true;
    return true;
}

bool DurableFile::commit(SystemError* err) {
    if (target_.empty()) return fail(err, SystemError::fromCode(EINVAL));
    if (!finish(err)) return false;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) return fail(err, SystemError::fromErrno());
    temp_.clear();
    finished_ = false;
    return syncFolder(parentFolder(target_), err);
}

bool DurableFile::commitNew(const std::string& path, SystemError* err) {
    if (!finish(err)) return false;
    // A hard link never replaces what is there, so nothing can slip in between look and move.
    if (::link(temp_.c_str(), path.c_str()) == 0) {
        ::unlink(temp_.c_str());
    } else if (errno == EEXIST) {
        if (err) *err = SystemError::fromCode(EEXIST);
        return false;
    } else {
        // A file system without hard links: look, then rename.
        if (fileExists(path)) {
            if (err) *err = SystemError::fromCode(EEXIST);
            return false;
        }
        if (::rename(temp_.c_str(), path.c_str()) != 0) return fail(err, SystemError::fromErrno());
    }
    temp_.clear();
    finished_ = false;
    return syncFolder(parentFolder(path), err);
}

void DurableFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    finished_ = false;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

bool replaceFileContents(const std::string& path, std::string_view contents, SystemError* err) {
    DurableFile file;
    return file.begin(path, err) && file.write(contents.data(), contents.size(), err) &&
           file.commit(err);
}

std::string cannotWriteText(const std::string& shownPath, const SystemError& why) {
    return "Cannot write " + shownPath + ": " + why.text;
}

void failDurableWritesAfter(long long limit, int code) {
    writeLimitCode = code;
    writeLimit = limit;
}

}  // namespace platform
