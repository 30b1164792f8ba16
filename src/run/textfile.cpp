// Binary file streams with the line-end translation of Windows text streams.
#include "run/textfile.h"

#include <sys/stat.h>

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
    while ((c = std::getc(f)) != EOF) {
        if (c == '\r') {
            int next = std::getc(f);
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
    for (;;) {
        std::size_t lf = text.find('\n');
        if (lf == std::string_view::npos) {
            std::fwrite(text.data(), 1, text.size(), f);
            return;
        }
        std::fwrite(text.data(), 1, lf, f);
        std::fwrite("\r\n", 1, 2, f);
        text.remove_prefix(lf + 1);
    }
}

bool closeText(std::FILE* f)
{
    bool ok = std::fflush(f) == 0 && !std::ferror(f);
    return std::fclose(f) == 0 && ok;
}
