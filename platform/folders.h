// Special folders, paths and files: the folders the programs keep their files in, unique
// temporary files, and writing a file in one step.
#pragma once

#include <cstdio>
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
// Opens a file the program reads in full (firmware, images, configurations, texts to send),
// only when it is a regular file: a FIFO would wait for a writer with Ctrl+C unheard, a device
// might never end. The check is made on what was opened, so nothing can be swapped in between.
// A descriptor (close-on-exec, blocking) or a stream, or -1 / null with the reason in err: the
// system's, EISDIR for a folder, EINVAL "is not a regular file" for anything else.
int openRegularFile(const std::string& path, SystemError* err = nullptr);
std::FILE* openRegularFileStream(const std::string& path, SystemError* err = nullptr);
// Whether openRegularFile would succeed, tried and closed again; err as there.
bool canReadRegularFile(const std::string& path, SystemError* err = nullptr);

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
