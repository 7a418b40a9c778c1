#include "filter/WorkBuffer.h"

#include <cstdint>

#include <sys/mman.h>

namespace Filter {

namespace {

std::size_t wholeHugePages(std::size_t bytes)
{
    return (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
}

} // namespace

void* allocateHugePages(std::size_t bytes)
{
    const std::size_t size = wholeHugePages(bytes);
    if (size < bytes || size > SIZE_MAX - kHugePageBytes)
        throw std::bad_alloc();
    // Map one huge page more than needed and unmap what lies before the first
    // aligned address and after the block: the system aligns large mappings
    // only to its base page size. Nothing is touched, so this costs no page.
    void* mapped = mmap(nullptr, size + kHugePageBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kHugePageBytes - 1) & ~(std::uintptr_t{kHugePageBytes} - 1);
    if (aligned != start)
        munmap(mapped, aligned - start);
    const std::uintptr_t tail = aligned + size;
    const std::uintptr_t end = start + size + kHugePageBytes;
    if (end != tail)
        munmap(reinterpret_cast<void*>(tail), end - tail);
    void* block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    // Only advice: where huge pages are off or none is free, the block is
    // served in base pages.
    madvise(block, size, MADV_HUGEPAGE);
#endif
    return block;
}

void releaseHugePages(void* block, std::size_t bytes) noexcept
{
    if (block)
        munmap(block, wholeHugePages(bytes));
}

} // namespace Filter
