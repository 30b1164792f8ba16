// Binary file streams with the line-end translation of Windows text streams.
#include "run/textfile.h"

#include <sys/stat.h>

#include <cstring>

namespace {

// One byte without taking the stream's lock each time: the tool has one thread.
int nextByte(std::FILE* f)
{
#ifdef _WIN32
    return _getc_nolock(f);
#else
    return getc_unlocked(f);
#endif
}

}  // namespace

std::FILE* openText(const char* name, const char* mode)
{
    bool reading = mode[0] == 'r';
    std::FILE* f = std::fopen(name, reading ? "rb" : "wb");
    struct stat st;
    if (f && reading && (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode))) {
        std::fclose(f);
        return nullptr;
    }
    return f;
}

bool readLine(std::FILE* f, std::string& line)
{
    line.clear();
    int c;
    while ((c = nextByte(f)) != EOF) {
        if (c == '\r') {
            int next = nextByte(f);
            if (next == '\n')
                c = '\n';
            else if (next != EOF)
                std::ungetc(next, f);
        }
        line.push_back(static_cast<char>(c));
        if (c == '\n')
            break;
    }
    return !line.empty();
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
