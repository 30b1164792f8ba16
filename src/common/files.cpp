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
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "common/held.h"
#include "common/textfile.h"

void sayCannotOpen(const char* name)
{
    std::fprintf(stderr, "Cannot open file: %s \n", name);
    if (gaveUpOnHeld())
        sayHeld(name);
}

void cannotOpen(const char* name, int status)
{
    sayCannotOpen(name);
    std::exit(status);
}

void sayHeld(const char* name)
{
    std::fprintf(stderr, "Held by another program: %s \n", name);
}

void sayKept(const char* name)
{
    std::fprintf(stderr, "Records kept in: %s \n", name);
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

NameKind kindOf(const char* name, bool follow)
{
#ifdef _WIN32
    DWORD attributes = GetFileAttributesW(wideName(name).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        // Anything else, a file pending deletion among them, is something under the name.
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ABSENT : REGULAR_FILE;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return OTHER_KIND;
    return !follow && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? A_LINK : REGULAR_FILE;
#else
    struct stat st;
    if ((follow ? stat(name, &st) : lstat(name, &st)) != 0)
        return errno == ENOENT ? ABSENT : OTHER_KIND;
    return S_ISREG(st.st_mode) ? REGULAR_FILE : S_ISLNK(st.st_mode) ? A_LINK : OTHER_KIND;
#endif
}

#ifdef _WIN32
namespace {
// The volume and index that tell a file, without opening it for anything that another
// program's sharing could refuse.
bool identity(const char* name, BY_HANDLE_FILE_INFORMATION* info)
{
    HANDLE handle = CreateFileW(wideName(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    bool known = GetFileInformationByHandle(handle, info) != 0;
    CloseHandle(handle);
    return known;
}
}  // namespace

bool sameFile(const char* name, const char* other)
{
    BY_HANDLE_FILE_INFORMATION a, b;
    return identity(name, &a) && identity(other, &b) && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

namespace {
bool move(const char* from, const char* to, DWORD flags, bool wait)
{
    // std::rename refuses an existing target there.
    std::wstring source = wideName(from), target = wideName(to);
    while (!MoveFileExW(source.c_str(), target.c_str(), flags | MOVEFILE_WRITE_THROUGH))
        if (!wait || !heldForAMoment(from, to))
            return false;
    return true;
}
}  // namespace

bool replaceFile(const char* from, const char* to)
{
    return move(from, to, MOVEFILE_REPLACE_EXISTING, true);
}

bool replaceOnce(const char* from, const char* to)
{
    return move(from, to, MOVEFILE_REPLACE_EXISTING, false);
}

bool moveFile(const char* from, const char* to)
{
    return move(from, to, 0, true);
}
#else
bool sameFile(const char* name, const char* other)
{
    struct stat a, b;
    return stat(name, &a) == 0 && stat(other, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool replaceFile(const char* from, const char* to)
{
    return std::rename(from, to) == 0;
}

bool replaceOnce(const char* from, const char* to)
{
    return std::rename(from, to) == 0;
}

bool moveFile(const char* from, const char* to)
{
#ifdef __GLIBC__
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    // Where the file system cannot refuse an existing target itself.
    struct stat st;
    return lstat(to, &st) != 0 && errno == ENOENT && std::rename(from, to) == 0;
}
#endif

bool copyFile(const char* from, const char* to)
{
    std::FILE* in = openRead(from);
    if (!in)
        return false;
    std::FILE* out = createFresh(to);
    if (!out) {
        std::fclose(in);
        return false;
    }
    static char block[1 << 16];
    std::size_t n;
    bool whole = true;
    while (whole && (n = std::fread(block, 1, sizeof block, in)) > 0)
        whole = std::fwrite(block, 1, n, out) == n;
    whole = whole && !std::ferror(in);
    std::fclose(in);
    whole = std::fclose(out) == 0 && whole;
    if (!whole)
        std::remove(to);
    return whole;
}
