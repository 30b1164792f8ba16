// Huge pages for large tables and buffers on Linux; elsewhere they take the system's pages as they are.
#include "base/memory.h"

#include <cstdint>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

const std::size_t huge = std::size_t(2) << 20;
// Blocks up to this size take the system's pages; freeLarge must tell them by the same size.
const std::size_t small = huge / 8;

}  // namespace

void adviseLarge(const void* at, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only the whole huge pages inside the range: the advice is given for pages, not bytes.
    std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(at) + huge - 1) & ~(huge - 1);
    std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(at) + bytes) & ~(huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)at;
    (void)bytes;
#endif
}

char* allocateLarge(std::size_t bytes)
{
#ifdef __EMSCRIPTEN__
    // WebAssembly's memory has no huge pages, and is never given back: a block is made no
    // larger than asked, nor aligned past what its type needs.
    return static_cast<char*>(::operator new(bytes));
#endif
    if (bytes <= small)
        return static_cast<char*>(::operator new(bytes));
    // Rounded up to a whole huge page: a block of less than one, whose small pages would cost
    // more in faults than clearing the huge page once, and a last part of more than half one.
    if (bytes % huge > (bytes < huge ? small : huge / 2))
        bytes += huge - bytes % huge;
    char* at = static_cast<char*>(::operator new(bytes, std::align_val_t(huge)));
    adviseLarge(at, bytes);
    return at;
}

void freeLarge(char* at, std::size_t bytes)
{
#ifdef __EMSCRIPTEN__
    (void)bytes;
    return ::operator delete(at);
#endif
    if (bytes <= small)
        ::operator delete(at);
    else
        ::operator delete(at, std::align_val_t(huge));
}
