#pragma once

// The fuzz targets as the replay suite calls them (see CMakeLists.txt).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace FuzzReplay {

struct Target {
    std::string name;
    int (*run)(const std::uint8_t* data, std::size_t size);
};

const std::vector<Target>& targets();

} // namespace FuzzReplay
