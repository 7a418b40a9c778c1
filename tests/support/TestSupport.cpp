#include "support/TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

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

} // namespace TestSupport
