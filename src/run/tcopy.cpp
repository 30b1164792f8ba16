// Tcopy: the line count of the exchange file, taken as the counting copy's lines.
#include "run/tcopy.h"

#include <cstring>

#include "run/files.h"
#include "run/textfile.h"

unsigned int Tcopy(const char* source, const char* destination)
{
    std::FILE* in = openText(source, "r");
    if (!in)
        cannotOpen(source, -1);
    // The run empties the destination again at once and keeps only the count, so the lines
    // are counted, not written; the destination is still opened so that its failure ends
    // the run here, as a copy would.
    std::FILE* out = openText(destination, "w");
    if (!out)
        cannotOpen(destination, -1);
    std::fclose(out);

    // A line is everything up to and with its line feed; a last line without one counts too.
    unsigned int count = 0;
    bool openLine = false;
    char chunk[1 << 16];
    for (std::size_t n; count <= RECORD_LIMIT && (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) {
        const char* end = chunk + n;
        for (const char* p = chunk; p < end;) {
            const char* lf = static_cast<const char*>(std::memchr(p, '\n', end - p));
            openLine = !lf;
            if (!lf)
                break;
            ++count;
            p = lf + 1;
        }
    }
    std::fclose(in);
    count += openLine;
    return count > RECORD_LIMIT ? RECORD_LIMIT + 1 : count;
}
