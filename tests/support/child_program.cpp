#include "tests/support/child_program.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <thread>

namespace testenv {

bool canRunAsAnotherUser() {
    return ::geteuid() == 0 && reachableByOthers(scratchRoot());
}

std::vector<std::string> Outcome::lines() const {
    std::vector<std::string> l;
    std::size_t p = 0;
    for (std::size_t nl; (nl = out.find('\n', p)) != std::string::npos; p = nl + 1)
        l.push_back(out.substr(p, nl - p));
    return l;
}

ChildProgram::ChildProgram(std::string binary, const ScratchDir& dir)
    : binary_(std::move(binary)), out_(dir.file("child.out")), err_(dir.file("child.err")) {}

ChildProgram::~ChildProgram() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

void ChildProgram::start(const std::vector<std::string>& args, const std::string& stdoutPath,
                         const std::string& workingFolder) {
    std::vector<std::string> all = {binary_};
    all.insert(all.end(), args.begin(), args.end());
    const std::string out = stdoutPath.empty() ? out_ : stdoutPath;
    // Everything the child needs is made before the fork: a child of a threaded process may
    // only call async-signal-safe functions, and a malloc there can spin for ever on an
    // allocator lock that another thread held at the fork.
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = ::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(o, 1);
        ::dup2(e, 2);
        if (!in_.empty()) {
            int i = ::open(in_.c_str(), O_RDONLY);
            if (i < 0) ::_exit(126);
            ::dup2(i, 0);
        }
        if (!workingFolder.empty() && ::chdir(workingFolder.c_str()) != 0) ::_exit(126);
        if (uid_ != static_cast<uid_t>(-1) &&
            (::setgroups(0, nullptr) != 0 || ::setgid(gid_) != 0 || ::setuid(uid_) != 0))
            ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
}

std::string ChildProgram::output() const {
    return readFile(out_);
}
void ChildProgram::interrupt() {
    ::kill(pid_, SIGINT);
}
void ChildProgram::terminate() {
    ::kill(pid_, SIGTERM);
}

pid_t startOnTerminal(std::vector<std::string> args, const std::string& tty,
                      const std::string& folder, const std::string& logPath) {
    std::vector<char*> argv;  // before the fork, as in ChildProgram::start
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        int fd = ::open(tty.c_str(), O_RDWR | O_NOCTTY);
        int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::chdir(folder.c_str()) != 0) ::_exit(126);
        ::dup2(fd, 0);
        ::dup2(fd, 1);
        ::dup2(log, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

int waitForExit(pid_t& pid, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (pid > 0 && std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

namespace {

// Where each thread of a program that did not end is waiting, so a hang seen once in CI says
// where it was.
std::string whereItWaits(pid_t pid) {
    std::string command = readFile("/proc/" + std::to_string(pid) + "/cmdline");
    std::replace(command.begin(), command.end(), '\0', ' ');
    std::string text =
        "\n--- pid " + std::to_string(pid) + " (" + command + ") had not ended; its threads:\n";
    std::error_code ec;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& t : std::filesystem::directory_iterator(tasks, ec)) {
        const std::string dir = t.path().string();
        std::string stat = readFile(dir + "/stat");
        auto close = stat.rfind(')');
        text += t.path().filename().string() + " state " +
                (close != std::string::npos && close + 2 < stat.size() ? stat.substr(close + 2, 1)
                                                                       : "?") +
                " in " + readFile(dir + "/wchan") + "\n" + readFile(dir + "/stack");
    }
    return text;
}

}  // namespace

Outcome ChildProgram::wait(std::chrono::seconds limit) {
    Outcome r;
    r.status = waitForExit(pid_, limit);
    r.out = readFile(out_);
    r.err = readFile(err_);
    if (r.status == -1 && pid_ > 0) r.err += whereItWaits(pid_);
    return r;
}

}  // namespace testenv
