#include "tests/support/x_server.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

namespace testenv {

PrivateXServer::PrivateXServer() {
    // An explicit number, tried until one is free: Xvfb refuses a display that another
    // server holds, where picking "the first free one" races with servers starting at once.
    std::mt19937 pick(static_cast<unsigned>(::getpid()) ^
                      static_cast<unsigned>(std::random_device{}()));
    for (int attempt = 0; attempt < 20 && display_.empty(); ++attempt) {
        int n = 100 + static_cast<int>(pick() % 800);
        std::string display = ":" + std::to_string(n);
        std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        pid_t pid = ::fork();
        if (pid == 0) {
            ::execlp("Xvfb", "Xvfb", display.c_str(), "-nolisten", "tcp", "-noreset", "-screen",
                     "0", "1280x1024x24", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (pid < 0) return;
        for (int i = 0; i < 200; ++i) {
            struct stat st {};
            if (::stat(socket.c_str(), &st) == 0) {
                pid_ = pid;
                display_ = display;
                break;
            }
            if (::waitpid(pid, nullptr, WNOHANG) == pid) break;  // taken or failed: next number
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        if (display_.empty() && ::waitpid(pid, nullptr, WNOHANG) == 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
}

PrivateXServer::~PrivateXServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
}

}  // namespace testenv
