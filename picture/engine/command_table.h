// The named scanner commands of the send-command window and `pictavo send`: the bytes each
// sends and how long to wait before its reply is collected. Names are ordered byte-wise;
// the debug commands are offered only while the "DebugCommands" setting is 1.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "picture/engine/picture_settings.h"

namespace pictavo {

struct ScannerCommand {
    std::string bytes;  // ESC ... CR
    unsigned replyWaitMs = 0;
    bool debug = false;
};

class CommandTable {
public:
    static constexpr char kSetupCamera[] = "Setup Camera";

    explicit CommandTable(const std::string& cameraSetup = kDefaultCameraSetup);

    // Null when the name is not in the table.
    const ScannerCommand* find(const std::string& name) const;
    // Every name in order, or all but the debug ones.
    std::vector<std::string> names(bool withDebugCommands) const;
    // Rebuilds "Setup Camera" as ESC, the text, CR; an empty text leaves it as it was.
    void setCameraSetup(const std::string& text);

private:
    std::map<std::string, ScannerCommand> commands_;
};

}  // namespace pictavo
