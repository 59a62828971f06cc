// Special folders, paths and files: the folders the programs keep their files in, unique
// temporary files, and writing a file in one step.
#pragma once

#include <optional>
#include <string>

#include "platform/system_error.h"

namespace platform {

// Where program-wide settings live ($XDG_CONFIG_HOME, default ~/.config).
std::string configFolder();
// The user's documents (XDG documents folder, default $HOME).
std::string documentsFolder();
// $TMPDIR, default /tmp.
std::string tempFolder();

// The running program's executable file (an empty text when the system cannot say).
std::string executablePath();
// The process's current directory (an empty text when the system cannot say).
std::string currentFolder();

std::string joinPath(const std::string& folder, const std::string& name);
std::string parentFolder(const std::string& path);
std::string fileNameOf(const std::string& path);

bool fileExists(const std::string& path);
bool isDirectory(const std::string& path);
bool isCharacterDevice(const std::string& path);
// One folder; false (errno kept in err) when it cannot be made and does not exist.
bool createDirectory(const std::string& path, SystemError* err = nullptr);
bool createDirectories(const std::string& path);

// Creates a new empty file "<prefix>XXXXXX.tmp" in folder and returns its path.
std::optional<std::string> createUniqueTempFile(const std::string& folder,
                                                const std::string& prefix,
                                                SystemError* err = nullptr);

// Writes the whole text to a temporary file beside path and renames it over path.
bool replaceFileContents(const std::string& path, const std::string& contents,
                         SystemError* err = nullptr);

}  // namespace platform
