#pragma once

// Masks stated as a rule, the oracle of the rasterisation tests.

#include <cstddef>
#include <vector>

namespace TestSupport {

// Mask of a width x height window, row-major, with 1 where inside(x, y)
// holds and 0 elsewhere.
template <typename F>
std::vector<int> maskOf(int width, int height, F inside)
{
    std::vector<int> mask(static_cast<std::size_t>(width) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            mask[static_cast<std::size_t>(y) * width + x] = inside(x, y) ? 1 : 0;
    return mask;
}

} // namespace TestSupport
