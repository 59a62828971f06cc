// Special folders, paths and files: the folders the programs keep their files in, unique
// temporary files, and writing a file so that it is all there or not changed.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

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

// Durable writes: every file the programs save goes through DurableFile (or
// replaceFileContents, its one-call form), so a save is all there or changes nothing.
//
// The bytes go to a new temporary file made with mkstemp in the target's folder; every write
// and the close are checked, the file is synced, renamed over the target and the folder is
// synced. An existing target keeps its mode (and its owner, where the system lets us). A
// symbolic link at the path keeps pointing at the file it names: that file is the one
// replaced. On a failure the previous file is untouched (but for a failed sync of the folder,
// which comes after the rename), the temporary file is removed and err holds the system's
// reason; cannotWriteText words it for the user. A process killed half-way leaves its
// temporary file, ".NAME.XXXXXX" beside the target, and never a half-written target.
//
// One object writes one file from one thread; different objects may run at the same time.
class DurableFile {
public:
    DurableFile() = default;
    ~DurableFile();  // removes the temporary file unless it was published
    DurableFile(const DurableFile&) = delete;
    DurableFile& operator=(const DurableFile&) = delete;

    // Starts the file that is to replace path (commit).
    bool begin(const std::string& path, SystemError* err = nullptr);
    // Starts a new file in folder that is to take a free name there (commitNew).
    bool beginNew(const std::string& folder, SystemError* err = nullptr);
    // Appends bytes; a short write is a failure (ENOSPC when the system gave no reason).
    bool write(const void* data, std::size_t size, SystemError* err = nullptr);
    // Syncs and closes the file, renames it over the target and syncs the folder.
    bool commit(SystemError* err = nullptr);
    // Syncs and closes the file and gives it the name path, in the folder it was begun in, only
    // when no file has that name: false with EEXIST then, and the file stays for another name.
    bool commitNew(const std::string& path, SystemError* err = nullptr);
    // Gives up the file: the temporary file goes, the target stays as it was.
    void discard();

    // The file that is replaced: the path begun, or the file its symbolic links name; empty
    // after beginNew.
    const std::string& target() const { return target_; }

private:
    bool openTemporary(const std::string& folder, const std::string& name, SystemError* err);
    bool finish(SystemError* err);
    bool fail(SystemError* err, SystemError why);
    int fd_ = -1;
    bool finished_ = false;
    std::string temp_, target_;
};

// Writes contents as the whole of the file at path, through a DurableFile.
bool replaceFileContents(const std::string& path, std::string_view contents,
                         SystemError* err = nullptr);

// The file a symbolic link (or a chain of them) at path names, followed even when it does not
// exist yet; path itself when it is no link.
std::string linkTarget(const std::string& path);

// "Cannot write PATH: REASON", how a failed save is put to the user everywhere; shownPath is
// the path escaped as the place that shows it escapes names.
std::string cannotWriteText(const std::string& shownPath, const SystemError& why);

// For tests, a disk that fills up: once limit more bytes have gone through DurableFile::write
// (counted across every file from this call on), each further write fails with code; a
// negative limit ends it.
void failDurableWritesAfter(long long limit, int code = ENOSPC);

}  // namespace platform
