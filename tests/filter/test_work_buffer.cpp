// The filter's work vectors: blocks of a huge page or more start on a huge
// page, smaller ones come from the heap, and a vector keeps its contents when
// it moves between the two.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "filter/WorkBuffer.h"

using Filter::kHugePageBytes;
using Filter::WorkVector;

TEST(WorkVector, KeepsItsContentsAcrossReallocationsAndStartsLargeBlocksOnAHugePage)
{
    const std::size_t perHugePage = kHugePageBytes / sizeof(double);
    // Sizes that cross the huge-page threshold both ways, and a large block
    // that is not a whole number of huge pages.
    const std::size_t sizes[] = {10, perHugePage - 1, perHugePage, 3 * perHugePage + 5, perHugePage / 2, 7,
                                 2 * perHugePage};
    WorkVector<double> v;
    for (std::size_t size : sizes) {
        const std::size_t kept = std::min(v.size(), size);
        v.resize(size);
        // A block of exactly this size, so each step reallocates.
        v.shrink_to_fit();
        ASSERT_EQ(v.capacity(), size);
        const auto mismatch = std::find_if(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(kept),
                                           [first = v.data()](const double& x) { return x != double(&x - first); });
        EXPECT_EQ(mismatch - v.begin(), static_cast<std::ptrdiff_t>(kept)) << "size " << size;
        if (size * sizeof(double) >= kHugePageBytes) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(v.data()) % kHugePageBytes, 0u) << "size " << size;
        }
        for (std::size_t i = 0; i < size; ++i)
            v[i] = static_cast<double>(i);
    }
}
