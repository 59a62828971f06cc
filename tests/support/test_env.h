// What tests share: a scratch folder removed afterwards, and a port map of their own that
// the code under test reads through VELTRIX_PORTS.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace testenv {

// A folder of the test's own, removed with everything in it when the object goes. Made in the
// system's shared temporary folder (/tmp), never the caller's TMPDIR: that may be private to
// the caller (0700), and a program a test runs as another user must reach its files. Where
// /tmp is not open to everyone, in the build tree. A folder that cannot be made throws.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A file system of its own on a scratch folder: a tmpfs of a few kilobytes, so writing more
// fills it, and that can be made read-only. Only root may mount, so available() is false otherwise
// (and when the system refuses); a test skips then. The mount is made in a mount namespace of this
// thread's own, so it is gone when the process ends however it ends, and unmounted when the object
// goes.
class SmallDisk {
public:
    explicit SmallDisk(std::size_t bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool available() const { return mounted_; }
    bool remountReadOnly();
    const std::string& why() const { return why_; }  // when not available
    const std::string& path() const { return dir_.path(); }
    std::string file(const std::string& name) const { return dir_.file(name); }

private:
    ScratchDir dir_;
    bool mounted_ = false;
    std::string why_;
};

// Points VELTRIX_PORTS at an empty map in a scratch folder for the object's life, and
// XDG_CONFIG_HOME and TMPDIR into the same folder so nothing leaks into the user's files.
class IsolatedPorts {
public:
    IsolatedPorts();
    ~IsolatedPorts();
    const std::string& mapFile() const { return mapFile_; }
    const ScratchDir& dir() const { return dir_; }
    const std::string& tempDir() const { return tempDir_; }  // TMPDIR
    void writeMap(const std::string& text) const;
    // Opens the scratch folder, its temporary folder and the map, and paths in it, to a
    // program run as another user: folders writable, files readable.
    void shareWithAnotherUser(const std::vector<std::string>& paths = {}) const;

private:
    ScratchDir dir_;
    std::string mapFile_, tempDir_;
    std::string saved_[3];
    bool had_[3] = {};
};

// Sets an environment variable (the programs a test starts inherit it) for the object's life,
// then puts back what was there.
class ScopedVariable {
public:
    ScopedVariable(std::string name, const std::string& value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string name_, saved_;
    bool had_ = false;
};

std::string readFile(const std::string& path);
// text with every occurrence of from replaced by to.
std::string replaceAll(std::string text, const std::string& from, const std::string& to);
// The name of the group that owns a device, as the open-failure advice names it.
std::string groupOf(const std::string& path);
// A message with what changes from run to run replaced: the device's path by "<device>", its
// group in the open advice by "<group>", this process's pid by "<pid>".
std::string withPlaceholders(std::string text, const std::string& devicePath);
// line is want, or begins with want's text before a final "...".
bool matchesLine(const std::string& line, const std::string& want);
// The folder scratch folders are made in.
const std::string& scratchRoot();
// Whether another user can reach path: every folder from the root down is searchable by all.
bool reachableByOthers(const std::string& path);
void writeFile(const std::string& path, const std::string& text);

// Polls cond every few milliseconds until it holds or the wait ends.
bool eventually(const std::function<bool()>& cond,
                std::chrono::milliseconds wait = std::chrono::milliseconds(3000));

}  // namespace testenv
