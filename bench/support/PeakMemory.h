#pragma once

// Peak memory of the benchmark process, from /proc/self.

#include <fstream>
#include <string>

namespace BenchMemory {

// Kilobytes of a /proc/self/status line ("VmHWM", "VmRSS").
inline long statusKilobytes(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    }
    return 0;
}

// Lowers the peak mark to the current use, so a later VmHWM is the peak of
// what ran after.
inline void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

} // namespace BenchMemory
