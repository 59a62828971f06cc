// A program under test run as a child process: its standard output and error go to files in a
// scratch folder, so a test reads what a user would have seen, with the exit status.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_env.h"

namespace testenv {

struct Outcome {
    int status = -1;  // exit code, 128 + signal, or -1 when it did not end in time
    std::string out, err;
    std::vector<std::string> lines() const;  // standard output, line by line
};

// Starts args (args[0] the program's path) in a session of its own with the terminal tty as
// its standard input and output, in folder, its standard error into logPath; its pid or -1.
pid_t startOnTerminal(std::vector<std::string> args, const std::string& tty,
                      const std::string& folder, const std::string& logPath);
// Waits up to limit for the child to end: its exit code (128 + signal), or -1 when it did not
// end in time. pid becomes -1 once it has ended.
int waitForExit(pid_t& pid, std::chrono::milliseconds limit);

// Whether the tests may run a program as another user: they run as root, and that user can
// reach their scratch folders.
bool canRunAsAnotherUser();

class ChildProgram {
public:
    ChildProgram(std::string binary, const ScratchDir& dir);
    ~ChildProgram();  // kills a child still running
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    // stdoutPath: where standard output goes instead of the file output() reads;
    // workingFolder: the child's, when given.
    void start(const std::vector<std::string>& args, const std::string& stdoutPath = {},
               const std::string& workingFolder = {});
    // Standard input from path (a file, or a FIFO the test writes as it goes) for the children
    // started after; otherwise the test's own.
    void setInput(std::string path) { in_ = std::move(path); }
    // Runs the children started after as nobody, outside every group, or again as the tests'
    // own user (root, who is never refused a device). Only root can switch.
    void runAsNobody(bool on) {
        uid_ = on ? 65534 : static_cast<uid_t>(-1);
        gid_ = on ? 65534 : static_cast<gid_t>(-1);
    }
    std::string output() const;
    void interrupt();  // SIGINT, as Ctrl+C
    void terminate();  // SIGTERM
    pid_t pid() const { return pid_; }
    Outcome wait(std::chrono::seconds limit = std::chrono::seconds(90));
    Outcome run(const std::vector<std::string>& args, const std::string& workingFolder = {}) {
        start(args, {}, workingFolder);
        return wait();
    }

private:
    std::string binary_, out_, err_, in_;
    pid_t pid_ = -1;
    uid_t uid_ = static_cast<uid_t>(-1);
    gid_t gid_ = static_cast<gid_t>(-1);
};

}  // namespace testenv
