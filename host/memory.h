// Room for the stand-in's large tables: one entry for each line of a drawing.
#pragma once

#include <cstddef>
#include <vector>

// Asks the system to back `bytes` at `at` with huge pages where it can. Each fresh page of
// memory costs a fault when first written, and a drawing of many lines would otherwise spend
// more on those faults than on reading its bytes. Does nothing where there is no such hint.
void adviseLarge(const void* at, std::size_t bytes);

// Room for `bytes` bytes, left as it is (nothing written), so advised; a block of more than
// half a huge page is aligned to one. Given back by freeLarge with the same `bytes`.
char* allocateLarge(std::size_t bytes);
void freeLarge(char* at, std::size_t bytes);

// Reserves room for `count` entries in `table`, so advised.
template <class T>
void reserveLarge(std::vector<T>& table, std::size_t count)
{
    table.reserve(count);
    adviseLarge(table.data(), table.capacity() * sizeof(T));
}
