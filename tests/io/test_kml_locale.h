#pragma once

// Switches the process to a decimal-comma locale (Czech) for the lifetime of
// the object, the way a Czech user's desktop session runs the program. When
// the locale is not installed it is compiled with localedef into a temporary
// folder that LOCPATH points to, so no root rights are needed.
//
// The C library gets the real cs_CZ.UTF-8 (printf, strtod, atof). The C++
// global locale gets the same number punctuation through a facet: building a
// named std::locale from a LOCPATH folder leaks inside glibc's newlocale.

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <locale>
#include <optional>
#include <string>

#include <unistd.h>

#include "support/TestSupport.h"

class ScopedDecimalCommaLocale {
public:
    ScopedDecimalCommaLocale()
        : savedCpp_(std::locale())
    {
        if (const char* current = std::setlocale(LC_ALL, nullptr))
            savedC_ = current;
        if (const char* path = std::getenv("LOCPATH"))
            savedLocPath_ = std::string(path);

        if (!activate()) {
            ::setenv("LOCPATH", compiledLocaleFolder().c_str(), 1);
            if (!activate())
                reason_ = "cs_CZ.UTF-8 is not installed and localedef could not build it";
        }
    }

    ~ScopedDecimalCommaLocale()
    {
        std::setlocale(LC_ALL, savedC_.c_str());
        std::locale::global(savedCpp_);
        if (savedLocPath_)
            ::setenv("LOCPATH", savedLocPath_->c_str(), 1);
        else
            ::unsetenv("LOCPATH");
    }

    ScopedDecimalCommaLocale(const ScopedDecimalCommaLocale&) = delete;
    ScopedDecimalCommaLocale& operator=(const ScopedDecimalCommaLocale&) = delete;

    bool active() const { return reason_.empty(); }
    const std::string& reason() const { return reason_; }

private:
    // A folder holding cs_CZ.UTF-8 compiled by localedef. The result is kept
    // in the temporary directory for the next test processes; it is built
    // under a private name and moved into place, so parallel tests never
    // see half of it.
    std::string compiledLocaleFolder()
    {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path cache = fs::temp_directory_path(ec) / "fenlark-test-locale";
        if (fs::exists(cache / "cs_CZ.UTF-8" / "LC_NUMERIC", ec))
            return cache.string();
        const std::string target = dir_.file("cs_CZ.UTF-8");
        const std::string command = "localedef -c -i cs_CZ -f UTF-8 '" + target + "' >/dev/null 2>&1";
        (void)std::system(command.c_str());
        if (!fs::exists(fs::path(target) / "LC_NUMERIC", ec))
            return dir_.path().string();
        const fs::path staging = cache.string() + "-" + std::to_string(::getpid());
        fs::create_directories(staging, ec);
        if (!ec)
            fs::rename(target, staging / "cs_CZ.UTF-8", ec);
        if (!ec)
            fs::rename(staging, cache, ec);
        const bool cached = fs::exists(cache / "cs_CZ.UTF-8" / "LC_NUMERIC", ec);
        if (!cached && fs::exists(staging / "cs_CZ.UTF-8", ec))
            fs::rename(staging / "cs_CZ.UTF-8", target, ec);
        fs::remove_all(staging, ec);
        if (!cached)
            return dir_.path().string();
        return cache.string();
    }

    // Czech number punctuation: decimal comma, digits grouped by three.
    struct CzechPunctuation : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return ' '; }
        std::string do_grouping() const override { return "\3"; }
    };

    bool activate()
    {
        if (std::setlocale(LC_ALL, "cs_CZ.UTF-8") == nullptr)
            return false;
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", 1.5);
        if (std::string(text) != "1,5") {
            std::setlocale(LC_ALL, savedC_.c_str());
            return false;
        }
        // An unnamed locale leaves the C library's locale as it is.
        std::locale::global(std::locale(std::locale::classic(), new CzechPunctuation));
        return true;
    }

    TestSupport::TempDir dir_;
    std::string savedC_ = "C";
    std::locale savedCpp_;
    std::optional<std::string> savedLocPath_;
    std::string reason_;
};
