// A private X server (Xvfb) for a test's life, on a display number of its own.
#pragma once

#include <sys/types.h>

#include <string>

namespace testenv {

class PrivateXServer {
public:
    PrivateXServer();
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;
    // ":N", or empty when no server could be started.
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace testenv
