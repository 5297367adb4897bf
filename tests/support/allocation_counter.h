// Counts calls of operator new while `allocation_counter::counting` is set.
// It replaces the program's global allocation functions: include it in
// exactly one source file of a test program.
#pragma once
#include <atomic>
#include <cstdlib>
#include <new>

namespace allocation_counter {

inline std::atomic<bool> counting{false};
inline std::atomic<int> allocations{0};

}  // namespace allocation_counter

// The replacements pair malloc with free on purpose; the compiler only
// sees the standard pairing of new with delete.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    if (allocation_counter::counting) ++allocation_counter::allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
