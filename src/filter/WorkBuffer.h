#pragma once

// Small helpers shared by the filtering kernels.

#include <chrono>
#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace Filter {

// Blocks of at least this size are mapped on their own, aligned to it, with
// transparent huge pages requested.
inline constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

// Memory for one large block: bytes rounded up to whole huge pages, aligned
// to kHugePageBytes, fresh from the system (its pages are touched first by
// whoever writes them first) and given back to it on release. Throws
// std::bad_alloc when none is left.
void* allocateHugePages(std::size_t bytes);
void releaseHugePages(void* block, std::size_t bytes) noexcept;

// Allocator of the filter's work buffers. A window of 2000 x 2000 pixels has
// vectors of 32 MB and a matrix of 256 MB, which 4 KiB pages would fault in
// one page at a time on their first write; in huge pages a fault covers
// 512 times as much. Blocks smaller than a huge page come from the ordinary
// heap.
template <typename T>
class HugePageAllocator {
public:
    using value_type = T;

    HugePageAllocator() = default;
    template <typename U>
    HugePageAllocator(const HugePageAllocator<U>&) noexcept
    {
    }

    T* allocate(std::size_t count)
    {
        if (count > std::size_t(-1) / sizeof(T))
            throw std::bad_array_new_length();
        const std::size_t bytes = count * sizeof(T);
        if (bytes < kHugePageBytes)
            return std::allocator<T>().allocate(count);
        return static_cast<T*>(allocateHugePages(bytes));
    }

    void deallocate(T* p, std::size_t count) noexcept
    {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < kHugePageBytes)
            std::allocator<T>().deallocate(p, count);
        else
            releaseHugePages(p, bytes);
    }

    template <typename U>
    bool operator==(const HugePageAllocator<U>&) const noexcept
    {
        return true;
    }
};

// Allocator that leaves trivially constructible elements uninitialised on
// resize. The kernels overwrite every element right after sizing a buffer,
// usually in a parallel loop; zero-filling first would cost an extra serial
// pass over hundreds of megabytes for large windows.
template <typename T, typename Base = std::allocator<T>>
class DefaultInitAllocator : public Base {
public:
    template <typename U>
    struct rebind {
        using other = DefaultInitAllocator<U, typename std::allocator_traits<Base>::template rebind_alloc<U>>;
    };

    using Base::Base;
    DefaultInitAllocator() = default;
    template <typename U, typename B>
    DefaultInitAllocator(const DefaultInitAllocator<U, B>& other) noexcept
        : Base(other)
    {
    }

    template <typename U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args)
    {
        std::allocator_traits<Base>::construct(static_cast<Base&>(*this), p, std::forward<Args>(args)...);
    }
};

// The filter's work buffers: uninitialised on resize, large ones in huge
// pages.
template <typename T>
using WorkVector = std::vector<T, DefaultInitAllocator<T, HugePageAllocator<T>>>;

// Seconds since start on the steady clock, as the timing lines print them.
inline double secondsSince(std::chrono::steady_clock::time_point start)
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start);
    return static_cast<double>(ns.count()) / 1e9;
}

} // namespace Filter
