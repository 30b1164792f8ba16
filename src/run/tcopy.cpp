// Tcopy: copying a text file and counting its lines.
#include "run/tcopy.h"

#include <string>

#include "run/files.h"
#include "run/textfile.h"

unsigned int Tcopy(const char* source, const char* destination)
{
    std::FILE* in = openText(source, "r");
    if (!in)
        cannotOpen(source, -1);
    std::FILE* out = openText(destination, "w");
    if (!out)
        cannotOpen(destination, -1);
    unsigned int count = 0;
    std::string line;
    while (count <= RECORD_LIMIT && readLine(in, line)) {
        ++count;
        writeText(out, line);
    }
    if (!closeText(out))
        cannotWrite(destination);
    std::fclose(in);
    return count;
}
