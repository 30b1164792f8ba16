// Binary file streams with the line-end translation of Windows text streams.
#include "run/textfile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

// What a platform lacks, it has no need of: Windows knows no FIFOs, and a file created
// exclusively there is never a link's target.
#ifndef O_BINARY
#define O_BINARY 0
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#ifndef O_NOFOLLOW
#define O_NOFOLLOW 0
#endif

namespace {

// The block the run's one file being read is taken in, and how far it has been used.
std::FILE* source = nullptr;
char block[1 << 16];
std::size_t used = 0, filled = 0;
bool ended = false, failed = false;

// The next block of the file; false at its end or when the read fails.
bool nextBlock()
{
    if (ended)
        return false;
    filled = std::fread(block, 1, sizeof block, source);
    used = 0;
    failed = std::ferror(source) != 0;
    ended = failed || filled < sizeof block;
    return !failed && filled > 0;
}

}  // namespace

std::FILE* openRead(const char* name)
{
    int fd = open(name, O_RDONLY | O_BINARY | O_NONBLOCK);
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
    int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_BINARY, 0666);
    if (fd < 0)
        return nullptr;
    std::FILE* f = fdopen(fd, "wb");
    if (!f)
        close(fd);
    return f;
}

bool writable(const char* name)
{
#ifdef _WIN32
    // Its read-only attribute, which Windows keeps even from an administrator.
    if (_access(name, 2) != 0)
        return false;
#endif
    int fd = open(name, O_WRONLY | O_BINARY | O_NONBLOCK);
    return fd >= 0 && close(fd) == 0;
}

void startReading(std::FILE* f)
{
    source = f;
    used = filled = 0;
    ended = failed = false;
}

ReadResult readRecord(std::string* line)
{
    if (line)
        line->clear();
    std::size_t length = 0;
    bool lastCr = false;  // the record's byte before this block, which a line feed may follow
    for (;;) {
        if (used == filled && !nextBlock()) {
            if (failed)
                return READ_FAILED;  // never taken for the end of the file
            if (length == 0)
                return END_OF_FILE;
            return length > RECORD_MAX ? RECORD_TOO_LONG : RECORD;  // a last line without its line feed
        }
        const char* start = block + used;
        const char* lf = static_cast<const char*>(std::memchr(start, '\n', filled - used));
        std::size_t take = lf ? lf - start + 1 : filled - used;
        // One CR more than the limit may still be dropped before its line feed.
        if (length + take > RECORD_MAX + 1)
            return RECORD_TOO_LONG;
        if (line)
            line->append(start, take);
        length += take;
        used += take;
        if (!lf) {
            lastCr = start[take - 1] == '\r';
            continue;
        }
        if (take > 1 ? lf[-1] == '\r' : lastCr) {
            if (line)
                line->erase(line->size() - 2, 1);
            --length;
        }
        return length > RECORD_MAX ? RECORD_TOO_LONG : RECORD;
    }
}

bool readLine(std::FILE* f, std::string& line)
{
    if (f != source)
        startReading(f);
    return readRecord(&line) == RECORD;
}

void writeText(std::FILE* f, std::string_view text)
{
    while (!text.empty()) {
        const void* lf = std::memchr(text.data(), '\n', text.size());
        std::size_t run = lf ? static_cast<const char*>(lf) - text.data() : text.size();
        std::fwrite(text.data(), 1, run, f);
        if (!lf)
            return;
        std::fwrite("\r\n", 1, 2, f);
        text.remove_prefix(run + 1);
    }
}

bool closeText(std::FILE* f)
{
    bool ok = std::fflush(f) == 0 && !std::ferror(f);
    return std::fclose(f) == 0 && ok;
}
