// Tcopy: the line count of the exchange file, taken as the counting copy's lines.
#include "run/tcopy.h"

#include "common/files.h"
#include "common/textfile.h"

unsigned int Tcopy(const char* source, const char* destination)
{
    std::FILE* in = openRead(source);
    if (!in)
        cannotOpen(source, -1);
    // The run empties the destination again at once and keeps only the count, so the lines
    // are counted, not written; the destination is still created so that its failure ends
    // the run here, as a copy would. Its close changes nothing the host gets.
    std::FILE* out = createFresh(destination);
    if (!out)
        cannotOpen(destination, -1);
    std::fclose(out);

    // Counted as the reader reads them, so a record too long is refused before anything is written.
    unsigned int count = 0;
    ReadResult counted = countRecords(in, RECORD_LIMIT + 1, &count);
    if (counted == READ_FAILED)
        cannotRead(source);
    if (counted == RECORD_TOO_LONG)
        recordTooLong(count + 1, source);
    std::fclose(in);
    return count;
}
