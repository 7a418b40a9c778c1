#include "support/TestSupport.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <gnu/libc-version.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace TestSupport {

TempDir::TempDir()
{
    std::random_device rd;
    std::mt19937_64 gen(rd());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = fs::temp_directory_path() / ("fenlark-test-" + std::to_string(gen()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

ScopedWorkingDirectory::ScopedWorkingDirectory()
    : previous_(fs::current_path())
{
    fs::current_path(dir_.path());
}

ScopedWorkingDirectory::~ScopedWorkingDirectory()
{
    std::error_code ec;
    fs::current_path(previous_, ec);
}

int watchdogSeconds()
{
    if (const char* text = std::getenv("FENLARK_TEST_WATCHDOG_SECONDS")) {
        const int value = std::atoi(text);
        if (value > 0)
            return value;
    }
    return 120;
}

std::string capturedStdout(const std::function<void()>& body)
{
    testing::internal::CaptureStdout();
    try {
        body();
    } catch (...) {
        testing::internal::GetCapturedStdout();
        throw;
    }
    return testing::internal::GetCapturedStdout();
}

void quietly(const std::function<void()>& body)
{
    capturedStdout(body);
}

IO::File::error fileErrorOf(const std::function<void()>& body)
{
    try {
        body();
    } catch (IO::File::error e) {
        return e;
    }
    return IO::File::error::NoError;
}

namespace {

// A "Vm...:" line of /proc/self/status in kilobytes, -1 when there is none.
long statusKilobytes(const std::string& key)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + key.size());
    }
    return -1;
}

long allTimePeakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

PeakMemory::PeakMemory()
{
    // "5" restarts the peak (VmHWM) at the current resident size.
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.close();
    const long resident = statusKilobytes("VmRSS:");
    restarted_ = clear && resident >= 0 && statusKilobytes("VmHWM:") >= 0;
    start_ = restarted_ ? resident : allTimePeakKilobytes();
}

long PeakMemory::peakGrowthKilobytes() const
{
    return (restarted_ ? statusKilobytes("VmHWM:") : allTimePeakKilobytes()) - start_;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> fileNamesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

// ------------------------------------------------------------ fixture cache

#ifndef FENLARK_TEST_CACHE_DIR
#error "FENLARK_TEST_CACHE_DIR names the build's cache of test fixtures"
#endif

constexpr std::uint64_t kHashSeed = 0xCBF29CE484222325ull;

// A 64-bit checksum, eight bytes at a time: it catches damaged or replaced
// files, it is no defence against someone forging one.
std::uint64_t checksum(const char* bytes, std::size_t count, std::uint64_t hash = kHashSeed)
{
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        hash = (hash ^ word) * 0x100000001B3ull;
        hash ^= hash >> 29;
    }
    for (; i < count; ++i)
        hash = (hash ^ static_cast<unsigned char>(bytes[i])) * 0x100000001B3ull;
    return (hash ^ count) * 0x9E3779B97F4A7C15ull;
}

std::string hex(std::uint64_t value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string uniqueSuffix()
{
    std::random_device rd;
    return std::to_string(::getpid()) + "-" + hex((static_cast<std::uint64_t>(rd()) << 32) ^ rd());
}

// The seal of a folder: the key, then one line per regular file (path
// relative to the folder, size, checksum), in path order.
std::string sealOf(const fs::path& folder, const std::string& key)
{
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        if (item.is_directory())
            continue;
        if (!item.is_regular_file())
            throw std::runtime_error("cached fixtures hold regular files only: " + item.path().string());
        const std::string bytes = TestSupport::readFile(item.path().string());
        if (bytes.size() != item.file_size())
            throw std::runtime_error("cannot read " + item.path().string());
        files.emplace_back(fs::relative(item.path(), folder).string(),
                           std::to_string(bytes.size()) + " " + hex(checksum(bytes.data(), bytes.size())));
    }
    std::sort(files.begin(), files.end());
    std::string seal = key + "\n";
    for (const auto& [path, summary] : files)
        seal += path + " " + summary + "\n";
    return seal;
}

// True when entry holds a folder whose files match the seal written for key.
bool sealed(const fs::path& entry, const std::string& key)
{
    std::error_code ec;
    if (!fs::is_regular_file(entry / "seal", ec) || !fs::is_directory(entry / "content", ec))
        return false;
    try {
        return TestSupport::readFile((entry / "seal").string()) == sealOf(entry / "content", key);
    } catch (const std::exception&) {
        return false;
    }
}

// An exclusive lock on a file, held for the lifetime of the object; the
// system drops it when the process ends, however it ends.
class FileLock {
public:
    explicit FileLock(const fs::path& path)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644))
    {
        if (fd_ < 0)
            throw std::runtime_error("cannot open " + path.string());
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                throw std::runtime_error("cannot lock " + path.string());
            }
        }
    }
    ~FileLock() { ::close(fd_); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_;
};

// Renames path out of the way, then removes it: a process that looks at the
// cache meanwhile never sees it half removed under its real name.
void discard(const fs::path& path)
{
    std::error_code ec;
    const fs::path aside = path.parent_path() / ("." + path.filename().string() + "-discarded-" + uniqueSuffix());
    fs::rename(path, aside, ec);
    fs::remove_all(ec ? path : aside, ec);
}

} // namespace

fs::path cachedFolder(const std::string& key, const std::function<void(const fs::path&)>& fill)
{
    if (key.empty() || key.find('\n') != std::string::npos)
        throw std::invalid_argument("a cache key is one line of text");
    const fs::path root = FENLARK_TEST_CACHE_DIR;
    fs::create_directories(root);
    const std::string name = hex(checksum(key.data(), key.size()));
    const fs::path entry = root / name;
    if (sealed(entry, key))
        return entry / "content";

    const FileLock lock(root / (name + ".lock"));
    if (sealed(entry, key))
        return entry / "content";
    std::error_code ec;
    if (fs::exists(fs::symlink_status(entry, ec)))
        discard(entry);

    const fs::path staging = root / ("." + name + "-" + uniqueSuffix());
    try {
        fs::create_directories(staging / "content");
        fill(staging / "content");
        writeFile((staging / "seal").string(), sealOf(staging / "content", key));
        fs::rename(staging, entry);
    } catch (...) {
        fs::remove_all(staging, ec);
        throw;
    }
    return entry / "content";
}

fs::path compiledLocale(const std::string& name)
{
    const auto dot = name.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()
        || name.find_first_of("'\"\\$` /") != std::string::npos)
        throw std::invalid_argument("a locale name looks like cs_CZ.UTF-8: " + name);
    // Compiled locales are bound to the C library that reads them.
    const std::string key = "locale " + name + " glibc " + gnu_get_libc_version();
    try {
        return cachedFolder(key, [&](const fs::path& folder) {
            const fs::path target = folder / name;
            const std::string command = "localedef -c -i " + name.substr(0, dot) + " -f " + name.substr(dot + 1)
                + " '" + target.string() + "' >/dev/null 2>&1";
            (void)std::system(command.c_str());
            std::error_code ec;
            if (!fs::is_regular_file(target / "LC_NUMERIC", ec))
                throw std::runtime_error("localedef cannot compile " + name);
        });
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace TestSupport
