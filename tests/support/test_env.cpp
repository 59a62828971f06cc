#include "tests/support/test_env.h"

#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testenv {

namespace {

const char* kVars[3] = {"VELTRIX_PORTS", "XDG_CONFIG_HOME", "TMPDIR"};

bool openToEveryone(const std::string& folder) {
    struct stat st {};
    const mode_t all = S_IWOTH | S_IXOTH | S_ISVTX;
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & all) == all &&
           reachableByOthers(folder);
}

}  // namespace

const std::string& scratchRoot() {
    static const std::string root = [] {
        if (openToEveryone("/tmp")) return std::string("/tmp");
        std::filesystem::create_directories(VELTRIX_TEST_SCRATCH_ROOT);
        return std::string(VELTRIX_TEST_SCRATCH_ROOT);
    }();
    return root;
}

ScratchDir::ScratchDir() {
    std::string pattern = scratchRoot() + "/veltrix-test-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a scratch folder " + pattern + ": " +
                                 std::strerror(errno));
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

SmallDisk::SmallDisk(std::size_t bytes) {
    if (::geteuid() != 0) {
        why_ = "only root can mount a small file system";
        return;
    }
    // A namespace of our own, private, so the mount is seen nowhere else and dies with us.
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        why_ = std::string("no mount namespace of our own: ") + std::strerror(errno);
        return;
    }
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options.c_str()) != 0) {
        why_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
        return;
    }
    mounted_ = true;
}

bool SmallDisk::remountReadOnly() {
    return mounted_ &&
           ::mount(nullptr, dir_.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

SmallDisk::~SmallDisk() {
    if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
}

IsolatedPorts::IsolatedPorts() : mapFile_(dir_.file("ports")), tempDir_(dir_.file("tmp")) {
    for (int i = 0; i < 3; ++i) {
        if (const char* v = std::getenv(kVars[i])) {
            had_[i] = true;
            saved_[i] = v;
        }
    }
    writeFile(mapFile_, "");
    std::filesystem::create_directories(dir_.file("config"));
    std::filesystem::create_directories(tempDir_);
    ::setenv("VELTRIX_PORTS", mapFile_.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", dir_.file("config").c_str(), 1);
    ::setenv("TMPDIR", tempDir_.c_str(), 1);
}

IsolatedPorts::~IsolatedPorts() {
    for (int i = 0; i < 3; ++i) {
        if (had_[i])
            ::setenv(kVars[i], saved_[i].c_str(), 1);
        else
            ::unsetenv(kVars[i]);
    }
}

void IsolatedPorts::writeMap(const std::string& text) const {
    writeFile(mapFile_, text);
}

void IsolatedPorts::shareWithAnotherUser(const std::vector<std::string>& paths) const {
    ::chmod(dir_.path().c_str(), 0777);
    ::chmod(tempDir_.c_str(), 01777);
    ::chmod(mapFile_.c_str(), 0644);
    for (const auto& p : paths) ::chmod(p.c_str(), std::filesystem::is_directory(p) ? 0777 : 0644);
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t p = 0; !from.empty() && (p = text.find(from, p)) != std::string::npos;
         p += to.size())
        text.replace(p, from.size(), to);
    return text;
}

std::string groupOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "?";
    const group* g = ::getgrgid(st.st_gid);
    return g ? g->gr_name : std::to_string(st.st_gid);
}

std::string withPlaceholders(std::string text, const std::string& devicePath) {
    if (!devicePath.empty()) {
        const std::string group = groupOf(devicePath);
        text = replaceAll(text, devicePath, "<device>");
        text = replaceAll(text, "'" + group + "' (sudo usermod -aG " + group + " ",
                          "'<group>' (sudo usermod -aG <group> ");
    }
    return replaceAll(text, "(pid " + std::to_string(::getpid()) + ")", "(pid <pid>)");
}

bool reachableByOthers(const std::string& path) {
    std::error_code ec;
    for (auto p = std::filesystem::absolute(path, ec); !ec; p = p.parent_path()) {
        struct stat st {};
        if (::stat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || !(st.st_mode & S_IXOTH))
            return false;
        if (p == p.root_path()) return true;
    }
    return false;
}

bool matchesLine(const std::string& line, const std::string& want) {
    const std::string dots = "...";
    if (want.size() > dots.size() &&
        want.compare(want.size() - dots.size(), dots.size(), dots) == 0)
        return line.rfind(want.substr(0, want.size() - dots.size()), 0) == 0;
    return line == want;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

bool eventually(const std::function<bool()>& cond, std::chrono::milliseconds wait) {
    auto end = std::chrono::steady_clock::now() + wait;
    while (!cond()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

ScopedVariable::ScopedVariable(std::string name, const std::string& value)
    : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) {
        had_ = true;
        saved_ = old;
    }
    ::setenv(name_.c_str(), value.c_str(), 1);
}

ScopedVariable::~ScopedVariable() {
    if (had_)
        ::setenv(name_.c_str(), saved_.c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

}  // namespace testenv
