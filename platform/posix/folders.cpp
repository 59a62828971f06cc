#include "platform/folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool replaceFileContents(const std::string& path, const std::string& contents, SystemError* err) {
    std::string tmp = path + ".new." + std::to_string(::getpid());
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (err) *err = SystemError::fromErrno();
        return false;
    }
    size_t done = 0;
    while (done < contents.size()) {
        ssize_t w = ::write(fd, contents.data() + done, contents.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (err) *err = SystemError::fromErrno();
            ::close(fd);
            ::unlink(tmp.c_str());
            return false;
        }
        done += static_cast<size_t>(w);
    }
    ::close(fd);
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        if (err) *err = SystemError::fromErrno();
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace platform
