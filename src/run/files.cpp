// Failure endings of the run and the one file replacement that must never be seen half done.
#include "run/files.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

void cannotOpen(const char* name, int status)
{
    std::fprintf(stderr, "Cannot open file: %s \n", name);
    std::exit(status);
}

// Reached only when the disk is full: the tests that fill it run under a file size limit
// that keeps a coverage build from writing its counters, so coverage reports miss it.
void cannotWrite(const char* name)
{
    std::fprintf(stderr, "Cannot write file: %s \n", name);
    std::exit(1);
}

bool replaceFile(const char* from, const char* to)
{
#ifdef _WIN32
    // std::rename refuses an existing target there.
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(from, to) == 0;
#endif
}
