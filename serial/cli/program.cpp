#include "serial/cli/program.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>

#include "platform/version.h"

namespace serial::cli {

namespace {

constexpr std::size_t kWindowColumn = 25;   // "(the window)" after "usage: <program>"
constexpr std::size_t kHelpNameWidth = 10;  // the subcommands' names before their help

std::string padded(const std::string& text, std::size_t width) {
    return text + std::string(text.size() < width ? width - text.size() : 1, ' ');
}

bool isHelp(const std::string& a) {
    return a == "--help" || a == "-h";
}

}  // namespace

std::string helpText(const Program& program) {
    const std::string lead = "       " + program.name + " ";
    std::string text = "usage: " + padded(program.name, kWindowColumn) + "(the window)\n";
    for (const Subcommand& s : program.subcommands) {
        text += lead + s.name;
        if (!s.synopsis.empty()) {
            const std::string indent(lead.size() + s.name.size() + 1, ' ');
            text += ' ';
            for (char c : s.synopsis) text += c == '\n' ? "\n" + indent : std::string(1, c);
        }
        text += '\n';
    }
    text += '\n';
    for (const Subcommand& s : program.subcommands) text += padded(s.name, kHelpNameWidth) + s.help;
    if (!program.notes.empty()) text += '\n' + program.notes;
    return text;
}

int run(const Program& program, const std::vector<std::string>& args, Console& console) {
    try {
        if (args.empty()) throw UsageError{"a subcommand is needed"};
        const std::string& name = args.front();
        if (isHelp(name) || name == "help") {
            console.print(helpText(program));
            return kExitOk;
        }
        if (name == "--version") {
            console.printLine(program.name + " " VELTRIX_VERSION);
            return kExitOk;
        }
        auto sub = std::find_if(program.subcommands.begin(), program.subcommands.end(),
                                [&](const Subcommand& s) { return s.name == name; });
        if (sub == program.subcommands.end()) throw UsageError{"unknown subcommand " + name};
        const std::vector<std::string> rest(args.begin() + 1, args.end());
        if (std::any_of(rest.begin(), rest.end(), isHelp)) {
            console.print(helpText(program));
            return kExitOk;
        }
        int status = sub->run(rest, console);
        console.clearProgress();
        return status;
    } catch (const UsageError& e) {
        console.message(program.name + ": " + e.text);
        if (program.afterUsageError == AfterUsageError::ShowHelp) {
            std::string help = helpText(program);
            help.pop_back();  // message() ends the line
            console.message(help);
        } else {
            console.message("Try '" + program.name + " --help'.");
        }
        return kExitUsage;
    }
}

int runMain(const Program& program, int argc, char** argv) {
    const std::atomic<bool>& interrupted = platform::catchInterrupts(program.interrupts);
    Console console(std::cout, std::cerr, platform::standardErrorIsTerminal(), &interrupted);
    int status = run(program, std::vector<std::string>(argv + 1, argv + argc), console);
    // A job ended by SIGTERM or SIGHUP says so as a shell would: 128 + the signal.
    if (status == kExitCancelled) {
        const int signal = platform::interruptingSignal();
        if (signal == SIGTERM || signal == SIGHUP) status = 128 + signal;
    }
    std::cout.flush();
    if (console.outputFailed() || !std::cout) {
        const int e = console.outputError() ? console.outputError() : errno;
        std::cerr << program.name << ": cannot write to standard output: " << std::strerror(e)
                  << "\n";
        if (status == kExitOk) status = kExitFailed;
    }
    return status;
}

bool windowCanStart() {
    if (platform::displayAvailable()) return true;
    std::cerr << "No display found: run a subcommand (see --help) or set DISPLAY.\n";
    return false;
}

}  // namespace serial::cli
