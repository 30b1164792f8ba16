// Huge pages for large tables on Linux; elsewhere the tables take the system's pages as they are.
#include "memory.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

void adviseLarge(const void* at, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only the whole huge pages inside the range: the advice is given for pages, not bytes.
    const std::uintptr_t huge = std::uintptr_t(2) << 20;
    std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(at) + huge - 1) & ~(huge - 1);
    std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(at) + bytes) & ~(huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)at;
    (void)bytes;
#endif
}
