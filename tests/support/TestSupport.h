#pragma once

// Shared helpers of the test suites: temporary folders, a scoped working
// directory and the per-test watchdog armed by the common test main.

#include <filesystem>
#include <functional>
#include <string>

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

// Writes bytes to a file (helper for hand-made fixtures).
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);

} // namespace TestSupport
