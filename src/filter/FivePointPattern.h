#pragma once

// Layout of the five-point matrices of the filtration in compressed row
// storage. Row i = y * width + x holds, sorted by column, the entries of the
// neighbours that exist and its diagonal: previous row (i - width), left
// (i - 1), diagonal, right (i + 1), next row (i + width). The layout is fixed
// by the grid size, so the assembly and the solvers walk the value array row
// by row without reading the column indices.

#include <algorithm>

namespace Filter {

// Offset of row y's first entry. Every row has width diagonal entries and
// 2 (width - 1) left / right entries; rows before y add width "next row"
// entries each (all but the last row) and width "previous row" entries each
// (all but the first). y = height gives the total number of entries.
inline long long patternRowStart(int width, int height, int y)
{
    const long long w = width;
    const long long rows = y;
    const long long nextRowLinks = std::min<long long>(rows, height - 1);
    const long long previousRowLinks = std::max<long long>(rows - 1, 0);
    return rows * (3 * w - 2) + w * nextRowLinks + w * previousRowLinks;
}

// The grid rows [begin, end) that thread `thread` of a team of `threads`
// owns. The pattern, every assembly and every solver sweep give each thread
// the same block, so the pages of the matrix and of the solvers' vectors are
// first touched, and afterwards only written, by the thread that works on
// them.
struct RowBlock {
    int begin;
    int end;
};

inline RowBlock rowBlock(int height, int thread, int threads)
{
    return {static_cast<int>(static_cast<long long>(height) * thread / threads),
            static_cast<int>(static_cast<long long>(height) * (thread + 1) / threads)};
}

} // namespace Filter
