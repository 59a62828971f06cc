// Where the system has a component's file and which version that file is, for the about box:
// the file through the component registry (platform/component_host.h) by ProgID, the version
// from the file's version block ("FileVersion" only).
#pragma once

#include <optional>
#include <string>

#include "platform/component_host.h"

namespace fenwald {

// ProgID -> CurVer -> CLSID -> InprocServer32: true and the file's path in path; false with path
// unchanged when a key is missing.
bool FindComponentFile(const std::string& progId, std::string& path,
                       const platform::ComponentRegistry& registry);
// The same in the program's registry (platform::componentRegistryPath()).
bool FindComponentFile(const std::string& progId, std::string& path);

// The file's "FileVersion" text, at most 255 characters: in the translation of the block's
// list when it has exactly one, else in the user's default language with code page 04B0.
std::optional<std::string> GetComponentVersion(const std::string& path);

}  // namespace fenwald
