// What each Config menu choice does: the log line the view writes and the worker command it
// posts, in order. The window's menu handlers and the command line both use this table, so a
// choice means the same wherever it is made.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kolvane {

enum class ConfigChoice {
    Bin8kNew,
    Bin8kOld,
    MotHex,
    Bootstrap,  // image kind
    K41,
    Z7B,
    Z7D,  // device
    BigEndian,
    LittleEndian,
    Rs232c,
    UsbCom,  // interface
    DelXsw,
};

struct ConfigStep {
    std::string logLine;  // written by the view before posting; empty: none
    int command;
    std::int64_t argument;
};

std::vector<ConfigStep> configSteps(ConfigChoice choice);
// "COM1".."COM3" and "COM_X": the port number.
ConfigStep portStep(int port);
// File Open: the log line; the command is the download with the path as its text.
std::string openFileLogLine(const std::string& path);

}  // namespace kolvane
