// Failure endings of the run and the one file replacement that must never be seen half done.
#include "common/files.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "common/held.h"

void sayCannotOpen(const char* name)
{
    std::fprintf(stderr, "Cannot open file: %s \n", name);
}

void cannotOpen(const char* name, int status)
{
    sayCannotOpen(name);
    std::exit(status);
}

// Reached only when the disk is full: the tests that fill it run under a file size limit
// that keeps a coverage build from writing its counters, so coverage reports miss it.
void cannotWrite(const char* name)
{
    std::fprintf(stderr, "Cannot write file: %s \n", name);
    std::exit(1);
}

void cannotRead(const char* name)
{
    std::fprintf(stderr, "Cannot read file: %s \n", name);
    std::exit(1);
}

void recordTooLong(unsigned int line, const char* name)
{
    std::fprintf(stderr, "Record too long: line %u of %s \n", line, name);
    std::exit(1);
}

void keepStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
#ifdef _WIN32
        if (_get_osfhandle(fd) != -1)
            continue;
        int null = _open("NUL", _O_RDWR);
        if (null < 0 || (null != fd && _dup2(null, fd) != 0))
            cannotOpen("NUL", 1);
        if (null != fd)
            _close(null);
#else
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free descriptor is `fd`: those below it are open by now.
        if (open("/dev/null", O_RDWR) != fd)
            cannotOpen("/dev/null", 1);
#endif
    }
}

bool replaceFile(const char* from, const char* to)
{
#ifdef _WIN32
    // std::rename refuses an existing target there.
    std::wstring source = wideName(from), target = wideName(to);
    for (int waited = 0;;) {
        if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        if (!heldForAMoment(&waited))
            return false;
    }
#else
    return std::rename(from, to) == 0;
#endif
}
