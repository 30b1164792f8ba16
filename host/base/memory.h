// Room for the stand-in's large tables: one entry for each line of a drawing.
#pragma once

#include <cstddef>
#include <vector>

// Asks the system to back `bytes` at `at` with huge pages where it can. Each fresh page of
// memory costs a fault when first written, and a drawing of many lines would otherwise spend
// more on those faults than on reading its bytes. Does nothing where there is no such hint.
void adviseLarge(const void* at, std::size_t bytes);

// Room for `bytes` bytes, left as it is (nothing written), so advised; a block of more than
// an eighth of a huge page is aligned to one. Given back by freeLarge with the same `bytes`.
char* allocateLarge(std::size_t bytes);
void freeLarge(char* at, std::size_t bytes);

// Such room for a table, aligned and advised from its first entry on.
template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&)
    {
    }
    T* allocate(std::size_t n) { return reinterpret_cast<T*>(allocateLarge(n * sizeof(T))); }
    void deallocate(T* at, std::size_t n) { freeLarge(reinterpret_cast<char*>(at), n * sizeof(T)); }
    bool operator==(const LargeAllocator&) const { return true; }
    bool operator!=(const LargeAllocator&) const { return false; }
};

template <class T>
using LargeTable = std::vector<T, LargeAllocator<T>>;

// Reserves room for `count` entries in `table`, so advised.
template <class T, class A>
void reserveLarge(std::vector<T, A>& table, std::size_t count)
{
    table.reserve(count);
    adviseLarge(table.data(), table.capacity() * sizeof(T));
}
