#include "picture/engine/command_table.h"

namespace pictavo {

namespace {
std::string framed(const std::string& text) {
    return "\x1b" + text + "\r";
}
}  // namespace

CommandTable::CommandTable(const std::string& cameraSetup) {
    commands_ = {
        {"Get SW Version", {framed("Z1"), 300, false}},
        {"Toggle Laser", {framed("[OOQ"), 300, false}},
        {"Trigger", {framed("Z"), 100, true}},
        {kSetupCamera, {framed(kDefaultCameraSetup), 300, false}},
        {"Rack Calibrate", {framed("[OOV"), 500, false}},
        {"Rack Analyze", {framed("[OOT"), 1000, false}},
        {"Toggle debug", {framed("[OO3"), 1000, true}},
        {"Default KTR", {framed("[QO3"), 300, true}},
        {"Save Config", {framed("Z2"), 300, true}},
    };
    setCameraSetup(cameraSetup);
}

const ScannerCommand* CommandTable::find(const std::string& name) const {
    auto it = commands_.find(name);
    return it == commands_.end() ? nullptr : &it->second;
}

std::vector<std::string> CommandTable::names(bool withDebugCommands) const {
    std::vector<std::string> names;
    for (const auto& [name, command] : commands_)
        if (withDebugCommands || !command.debug) names.push_back(name);
    return names;
}

void CommandTable::setCameraSetup(const std::string& text) {
    if (!text.empty()) commands_[kSetupCamera].bytes = framed(text);
}

}  // namespace pictavo
