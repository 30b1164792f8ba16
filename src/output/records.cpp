// Line records, text labels and echoes.
#include "output/records.h"

#include "output/fixed.h"
#include "output/stream.h"

void Sen(double x1, double y1, double x2, double y2)
{
    // Composed whole and written once: most of the output command stream is line records.
    char record[4 * (FIXED_ROOM + 1) + 1];
    char* end = record;
    for (double v : {x1, y1, x2, y2}) {
        *end++ = ' ';
        end = writeFixed(end, v, 12);
    }
    *end++ = ' ';
    putLine(std::string_view(record, end - record));
}

void MojiOutD2(double x, double y, int end, int mode)
{
    put("ch ");
    putFixed(x, 6);
    put(" ");
    putFixed(y, 6);
    put(" 3 0 \"");
    putInt(end);
    put(",");
    putInt(mode);
    put("\n");
}

void Echo(std::string_view record)
{
    // The last line of a file may lack its line end; the next record must not be glued to it.
    if (!record.empty() && record.back() == '\n')
        record.remove_suffix(1);
    putLine(record);
}
