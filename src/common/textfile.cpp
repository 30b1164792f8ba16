// Binary file streams with the line-end translation of Windows text streams.
#include "common/textfile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "common/files.h"
#include "common/held.h"

namespace {

// The block the run's one file being read is taken in, and how far it has been used. One
// byte more than a block holds, for the zero that ends a record at the block's end.
std::FILE* source = nullptr;
char block[(1 << 16) + 1];
constexpr std::size_t BLOCK = sizeof block - 1;
static_assert(BLOCK < RECORD_MAX);
std::size_t used = 0, filled = 0;
bool ended = false, failed = false;
// A record read in place ends in a zero over the next record's first byte, which is put
// back before that record is read.
char* lent = nullptr;
char lentByte = 0;
// A record that runs over from one block into the next is gathered here.
std::string spill;

// The file being written, and what has been written to it and not yet handed on: whole
// blocks go on, in few system calls.
std::FILE* sink = nullptr;
char pending[1 << 16];
std::size_t waiting = 0;

void flushPending()
{
    if (waiting)
        std::fwrite(pending, 1, waiting, sink);  // a failure shows in the stream's error flag
    waiting = 0;
}

// Makes `f` the file written to, after handing on what waits for the one before.
void useSink(std::FILE* f)
{
    if (f != sink) {
        flushPending();
        sink = f;
    }
}

void emit(const char* bytes, std::size_t n)
{
    if (n > sizeof pending - waiting) {
        flushPending();
        if (n >= sizeof pending) {
            std::fwrite(bytes, 1, n, sink);
            return;
        }
    }
    std::memcpy(pending + waiting, bytes, n);
    waiting += n;
}

// The next block of the file; false at its end or when the read fails.
bool nextBlock()
{
    if (ended)
        return false;
    filled = std::fread(block, 1, BLOCK, source);
    used = 0;
    failed = std::ferror(source) != 0;
    ended = failed || filled < BLOCK;
    return !failed && filled > 0;
}

// The record from `start`, `length` bytes with its line feed, as it stands in the block.
std::string_view inPlace(char* start, std::size_t length)
{
    char* end = start + length;
    if (length >= 2 && end[-1] == '\n' && end[-2] == '\r') {
        // Its CR LF becomes LF in place; the zero then falls on its own last byte.
        end[-2] = '\n';
        end[-1] = '\0';
        return {start, length - 1};
    }
    lent = end;
    lentByte = *end;
    *end = '\0';
    return {start, length};
}

// The line feeds among `n` bytes, counted in chunks of a fixed length, which the compiler
// turns into a few vector compares each.
std::size_t lineFeeds(const char* p, std::size_t n)
{
    constexpr std::size_t CHUNK = 64;
    std::size_t count = 0;
    for (; n >= CHUNK; p += CHUNK, n -= CHUNK) {
        unsigned char inChunk = 0;
        for (std::size_t i = 0; i < CHUNK; ++i)
            inChunk += p[i] == '\n';
        count += inChunk;
    }
    for (; n > 0; ++p, --n)
        count += *p == '\n';
    return count;
}

}  // namespace

#ifdef _WIN32

namespace {

// A stream over `handle`, which it then owns; null, with the handle closed, on failure.
std::FILE* streamOver(HANDLE handle, int flags, const char* mode)
{
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* f = _fdopen(fd, mode);
    if (!f)
        _close(fd);
    return f;
}

// Opens the file `name` as it stands, waiting out another program's moment on it.
HANDLE openExisting(const char* name, DWORD access, DWORD flags)
{
    std::wstring wide = wideName(name);
    HANDLE handle;
    while ((handle = CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, flags, nullptr)) == INVALID_HANDLE_VALUE)
        if (!heldForAMoment(name))
            break;
    return handle;
}

}  // namespace

std::FILE* openRead(const char* name)
{
    // A directory is opened too, so that it is refused below at once, not waited for.
    HANDLE handle = openExisting(name, GENERIC_READ, FILE_FLAG_BACKUP_SEMANTICS);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* f = streamOver(handle, _O_RDONLY, "rb");
    if (f)
        std::setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

std::FILE* createFresh(const char* name)
{
    std::wstring wide = wideName(name);
    // The file is the tool's own: a leftover marked read-only is replaced all the same, as
    // on Linux.
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    for (;;) {
        bool deleted = DeleteFileW(wide.c_str());
        if (deleted || GetLastError() == ERROR_FILE_NOT_FOUND) {
            HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle != INVALID_HANDLE_VALUE)
                return streamOver(handle, _O_WRONLY, "wb");
            // A leftover deleted while another program holds it keeps its name until it is
            // let go: Windows then says access denied, Wine that the file exists.
            if (deleted && GetLastError() == ERROR_FILE_EXISTS)
                SetLastError(ERROR_ACCESS_DENIED);
        }
        if (!heldForAMoment(name))
            return nullptr;
    }
}


bool writable(const char* name)
{
    std::wstring wide = wideName(name);
    // Its read-only attribute, which Windows keeps even from an administrator, is no moment.
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    HANDLE handle = openExisting(name, GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL);
    return handle != INVALID_HANDLE_VALUE && CloseHandle(handle) != 0;
}

#else

std::FILE* openRead(const char* name)
{
    int fd = open(name, O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    struct stat st;
    std::FILE* f = nullptr;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        f = fdopen(fd, "rb");
    if (!f) {
        close(fd);
        return nullptr;
    }
    std::setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

std::FILE* createFresh(const char* name)
{
    // A directory is not removed; what stays is in the way of the exclusive creation.
    unlink(name);
    int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
    if (fd < 0)
        return nullptr;
    std::FILE* f = fdopen(fd, "wb");
    if (!f)
        close(fd);
    return f;
}

bool writable(const char* name)
{
    int fd = open(name, O_WRONLY | O_NONBLOCK);
    return fd >= 0 && close(fd) == 0;
}

#endif

void startReading(std::FILE* f)
{
    source = f;
    used = filled = 0;
    ended = failed = false;
    lent = nullptr;
}

ReadResult countRecords(std::FILE* f, unsigned int most, unsigned int* count)
{
    startReading(f);
    *count = 0;
    std::size_t length = 0;  // of the record that runs on into the next block, so far
    bool lastCr = false;     // its last byte so far
    while (*count < most) {
        if (!nextBlock()) {
            if (failed)
                return READ_FAILED;
            if (length == 0)
                return END_OF_FILE;
            if (length > RECORD_MAX)
                return RECORD_TOO_LONG;
            ++*count;  // a last line without its line feed
            return END_OF_FILE;
        }
        const char* lf = static_cast<const char*>(std::memchr(block, '\n', filled));
        if (!lf) {
            length += filled;
            if (length > RECORD_MAX + 1)  // one CR more may still be dropped before its line feed
                return RECORD_TOO_LONG;
            lastCr = block[filled - 1] == '\r';
            continue;
        }
        length += lf - block + 1;
        if (length - (lf > block ? lf[-1] == '\r' : lastCr) > RECORD_MAX)
            return RECORD_TOO_LONG;
        ++*count;
        // The rest of the block: records each shorter than a block, then the start of the next.
        const char* rest = lf + 1;
        const char* end = block + filled;
        std::size_t feeds = lineFeeds(rest, end - rest);
        if (feeds >= most - *count) {
            *count = most;
            break;
        }
        *count += static_cast<unsigned int>(feeds);
        const char* next = end;
        while (next > rest && next[-1] != '\n')
            --next;
        length = end - next;
        lastCr = length > 0 && end[-1] == '\r';
    }
    return RECORD;
}

ReadResult readRecord(std::string_view* line)
{
    if (lent) {
        *lent = lentByte;
        lent = nullptr;
    }
    spill.clear();
    for (;;) {
        if (used == filled && !nextBlock()) {
            if (failed)
                return READ_FAILED;  // never taken for the end of the file
            if (spill.empty())
                return END_OF_FILE;
            *line = spill;
            return spill.size() > RECORD_MAX ? RECORD_TOO_LONG : RECORD;  // a last line without its line feed
        }
        char* start = block + used;
        const char* lf = static_cast<const char*>(std::memchr(start, '\n', filled - used));
        std::size_t take = lf ? lf - start + 1 : filled - used;
        // One CR more than the limit may still be dropped before its line feed.
        if (spill.size() + take > RECORD_MAX + 1)
            return RECORD_TOO_LONG;
        used += take;
        // Most records lie whole in one block and are read where they stand; a block is far
        // shorter than the longest record. (A block short of full is the file's last, and a
        // last line may lack its line feed.)
        if (spill.empty() && (lf || ended)) {
            *line = inPlace(start, take);
            return RECORD;
        }
        spill.append(start, take);
        if (!lf)
            continue;
        // A CR before the line feed, in this block or the one before, is dropped.
        if (spill.size() >= 2 && spill[spill.size() - 2] == '\r')
            spill.erase(spill.size() - 2, 1);
        *line = spill;
        return spill.size() > RECORD_MAX ? RECORD_TOO_LONG : RECORD;
    }
}

void writeText(std::FILE* f, std::string_view text)
{
    useSink(f);
    while (!text.empty()) {
        const void* lf = std::memchr(text.data(), '\n', text.size());
        std::size_t run = lf ? static_cast<const char*>(lf) - text.data() : text.size();
        emit(text.data(), run);
        if (!lf)
            return;
        emit("\r\n", 2);
        text.remove_prefix(run + 1);
    }
}

void writeLine(std::FILE* f, std::string_view text)
{
    useSink(f);
    emit(text.data(), text.size());
    emit("\r\n", 2);
}

bool flushText(std::FILE* f)
{
    if (f == sink)
        flushPending();
    return std::fflush(f) == 0 && !std::ferror(f);
}

bool closeText(std::FILE* f)
{
    bool ok = flushText(f);
    if (f == sink)
        sink = nullptr;
    return std::fclose(f) == 0 && ok;
}
