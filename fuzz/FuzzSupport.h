#pragma once

// What the fuzz targets share. A target is compiled twice: into its libFuzzer
// executable (fuzz/CMakeLists.txt) and into the replay suite of the test
// build (tests/fuzz/), so nothing here may depend on either.
//
// Readers that take a path get the input as a file in a scratch folder of
// the process. The readers' log lines and GDAL's messages are switched off:
// at millions of runs they would cost more than the reading.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cpl_conv.h>
#include <cpl_error.h>

namespace FuzzSupport {

// A folder of this process, removed when the process ends normally.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec)
            base = "/tmp";
        std::string pattern = (base / "fenlark-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("fenlark fuzz: no scratch folder");
            std::abort();
        }
        path_ = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline const std::string& scratchFolder()
{
    static const ScratchFolder folder;
    return folder.path();
}

// Switches off the readers' log lines (std::cout) and GDAL's messages, and
// keeps GDAL's decoders on the calling thread, so that a run does not depend
// on how the decoding threads were scheduled.
inline void quiet()
{
    static const bool done = [] {
        std::cout.setstate(std::ios::badbit);
        CPLSetErrorHandler(CPLQuietErrorHandler);
        CPLSetConfigOption("GDAL_NUM_THREADS", "1");
        return true;
    }();
    (void)done;
}

// Writes the input to scratchFolder()/fileName, replacing the file, and
// returns its path. Every write gets a modification time one second later
// than the one before: GDAL keeps the listing of a zip archive as long as
// its size and time are unchanged, and an input of the same size written
// within the same second would otherwise be read with the listing of the
// previous one.
inline std::string writeInput(const std::string& fileName, const std::uint8_t* data, std::size_t size)
{
    static long long nextSecond = 0;
    const std::string path = scratchFolder() + "/" + fileName;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) {
            std::perror("fenlark fuzz: cannot write the input");
            std::abort();
        }
    }
    if (nextSecond == 0)
        nextSecond = static_cast<long long>(std::time(nullptr));
    const timespec times[2] = {{static_cast<time_t>(nextSecond), 0}, {static_cast<time_t>(nextSecond), 0}};
    ++nextSecond;
    utimensat(AT_FDCWD, path.c_str(), times, 0);
    return path;
}

inline std::string_view text(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// A property a reader must keep whatever its input: a broken one stops the
// run like a sanitizer finding, naming the property.
inline void require(bool holds, const char* property)
{
    if (!holds) {
        std::fprintf(stderr, "fenlark fuzz: property broken: %s\n", property);
        std::abort();
    }
}

} // namespace FuzzSupport
