#pragma once

// Shared helpers of the test suites: temporary folders, a scoped working
// directory, the per-test watchdog armed by the common test main, and a cache
// of fixture folders that the test processes of a build share.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "io/File.h"

namespace TestSupport {

// A fresh folder under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Makes a fresh temporary folder the process's working directory for the
// lifetime of the object, then returns to the previous one.
class ScopedWorkingDirectory {
public:
    ScopedWorkingDirectory();
    ~ScopedWorkingDirectory();
    ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
    ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

    const std::filesystem::path& path() const { return dir_.path(); }

private:
    TempDir dir_;
    std::filesystem::path previous_;
};

// Seconds a single test may run before the watchdog fails it.
int watchdogSeconds();

// Runs body with standard output captured and returns what it printed. An
// exception from body ends the capture and is passed on.
std::string capturedStdout(const std::function<void()>& body);

// Runs body with its log lines (standard output) dropped.
void quietly(const std::function<void()>& body);

// The IO::File::error that body throws, NoError when it throws none.
IO::File::error fileErrorOf(const std::function<void()>& body);

// How far the process's resident memory rose above where it stood when the
// object was made: what a step allocates and touches, however briefly,
// shows in peakGrowthKilobytes() after it (an address-space limit does not
// work under the address sanitizer). The kernel's peak is restarted at the
// current size first, so a higher peak of an earlier step hides nothing;
// where it cannot be restarted the growth of the process's all-time peak is
// measured instead.
class PeakMemory {
public:
    PeakMemory();
    long peakGrowthKilobytes() const;

private:
    bool restarted_ = false;
    long start_ = 0;
};

// Writes bytes to a file (helper for hand-made fixtures).
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);

// The names of the entries of a folder, sorted.
std::vector<std::string> fileNamesIn(const std::filesystem::path& folder);

// A folder of fixture files shared by every test process of the build: the
// first process that asks for key calls fill(folder) to write them, later
// ones get the same folder without writing anything. Every process of a
// parallel run that asks while it is written waits for that one writer.
//
// The folder goes into the cache only once fill() has returned: it is written
// under a private name, sealed with the size and checksum of every file and
// then renamed into place. An entry whose files no longer match their seal
// (an interrupted clean-up, an edit by hand) is written afresh, so no test
// ever reads a half-written or altered fixture. A fill() that throws leaves
// nothing behind and passes its exception on.
//
// The folder is shared: read from it, never write into it. A test that
// changes a fixture works on a copy of its own.
//
// key names everything the files depend on (the writer's version included);
// the cache lives in the build folder ("test-cache").
std::filesystem::path cachedFolder(const std::string& key,
                                   const std::function<void(const std::filesystem::path&)>& fill);

// A folder for LOCPATH that holds the C library's locale name (for example
// "cs_CZ.UTF-8") compiled by localedef, for machines that do not have it
// installed. Compiled once per build (see cachedFolder); empty when localedef
// cannot make it.
std::filesystem::path compiledLocale(const std::string& name);

} // namespace TestSupport
