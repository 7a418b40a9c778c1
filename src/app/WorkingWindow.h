#pragma once

// The working window of a viewer side lies on a 6-pixel grid inside its
// data set: the one rule for every place that moves it.

#include <algorithm>

namespace UI {

// The working window's origin on one axis for a window of windowSize pixels
// starting near start: rounded to a multiple of 6 and kept inside dataSize.
// Data smaller than the window gives 0.
inline int workingWindowStart(int start, int windowSize, int dataSize)
{
    int rounded = static_cast<int>(start / 6.0 + 0.5) * 6;
    const int last = dataSize - windowSize;
    if (last <= 0)
        return 0;
    if (rounded > last)
        rounded = last / 6 * 6;
    return std::max(rounded, 0);
}

// The working window's size on one axis for a data set of dataSize pixels:
// a data set narrower than the configured window gets a window 24 pixels
// smaller than itself, unless that would leave none; then the window is the
// whole data set.
inline int workingWindowSize(int windowSize, int dataSize)
{
    if (dataSize >= windowSize)
        return windowSize;
    return dataSize - 24 > 0 ? dataSize - 24 : dataSize;
}

} // namespace UI
