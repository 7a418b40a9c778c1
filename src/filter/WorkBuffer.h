#pragma once

// Small helpers shared by the filtering kernels.

#include <chrono>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace Filter {

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

template <typename T>
using WorkVector = std::vector<T, DefaultInitAllocator<T>>;

// Seconds since start on the steady clock, as the timing lines print them.
inline double secondsSince(std::chrono::steady_clock::time_point start)
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start);
    return static_cast<double>(ns.count()) / 1e9;
}

} // namespace Filter
