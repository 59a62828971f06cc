// veltrix-sim: runs one simulated device on a pseudo-terminal registered as COM n in a port
// map file, until interrupted. Lines on standard input are control commands for the device
// (see SimDevice::command); SIGUSR1 sends it "trigger".
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "platform/version.h"
#include "sim/device_kinds.h"

namespace {

std::atomic<bool> quit{false};
std::atomic<bool> trigger{false};

void usage(std::ostream& out) {
    out << "usage: veltrix-sim KIND [options] --ports FILE --com N [--name TEXT] [--pace]\n"
           "       veltrix-sim --version\n"
           "  --ports FILE  port map file to register in (default: $VELTRIX_PORTS)\n"
           "  --com N       the COM number to appear as\n"
           "  --name TEXT   display name (default: \"Veltrix <KIND> (COM<N>)\")\n"
           "  --pace        send and receive at the wire speed of the program's line settings\n"
           "Standard input takes control commands: pace on|off, silent on|off, garbage [HEX...],\n"
           "vanish, and the device's own. Kinds:\n";
    for (const auto& k : sim::deviceKinds()) out << "  " << k.name << " " << k.usage << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        usage(argc < 2 ? std::cerr : std::cout);
        return argc < 2 ? 2 : 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::cout << "veltrix-sim " VELTRIX_VERSION "\n";
        return 0;
    }
    std::string kindName = argv[1];
    const sim::DeviceKind* kind = nullptr;
    for (const auto& k : sim::deviceKinds())
        if (kindName == k.name) kind = &k;
    if (!kind) {
        std::cerr << "veltrix-sim: unknown device kind: " << kindName << "\n";
        usage(std::cerr);
        return 2;
    }

    const char* envPorts = std::getenv("VELTRIX_PORTS");
    std::string ports = envPorts ? envPorts : "";
    std::string name;
    int com = 0;
    bool pace = false;
    std::vector<std::string> options;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << "veltrix-sim: " << a << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--ports")
            ports = value();
        else if (a == "--com")
            com = std::atoi(value().c_str());
        else if (a == "--name")
            name = value();
        else if (a == "--pace")
            pace = true;
        else
            options.push_back(a);
    }
    if (ports.empty() || com <= 0) {
        std::cerr << "veltrix-sim: --ports FILE and --com N (1 and up) are needed\n";
        return 2;
    }
    if (name.empty()) name = "Veltrix " + kindName + " (COM" + std::to_string(com) + ")";

    std::string error;
    auto device = kind->make(options, error);
    if (!device) {
        std::cerr << "veltrix-sim: " << error << "\n";
        return 2;
    }
    device->line().setPacing(pace);
    if (!device->start(ports, com, name)) {
        std::cerr << "veltrix-sim: cannot create the pseudo-terminal or register COM" << com
                  << " in " << ports << "\n";
        return 1;
    }
    std::cout << "COM" << com << " " << device->line().devicePath() << " " << name << std::endl;

    std::signal(SIGINT, [](int) { quit = true; });
    std::signal(SIGTERM, [](int) { quit = true; });
    std::signal(SIGUSR1, [](int) { trigger = true; });
    std::string pending;
    bool stdinOpen = true;
    while (!quit) {
        pollfd pfd{STDIN_FILENO, POLLIN, 0};
        int r = ::poll(&pfd, stdinOpen ? 1 : 0, 100);
        if (trigger.exchange(false)) std::cout << device->command("trigger") << std::endl;
        if (r <= 0 || !(pfd.revents & (POLLIN | POLLHUP))) continue;
        char buf[256];
        ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            stdinOpen = false;  // keep running until a signal ends us
            continue;
        }
        pending.append(buf, static_cast<std::size_t>(n));
        for (auto nl = pending.find('\n'); nl != std::string::npos; nl = pending.find('\n')) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (!line.empty()) std::cout << device->command(line) << std::endl;
        }
    }
    device->stop();
    return 0;
}
