// The reading loop over the exchange file and the dispatch of each record by its first characters.
#include "exchange/reader.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "exchange/attributes.h"
#include "exchange/numbers.h"
#include "output/records.h"
#include "output/stream.h"
#include "common/files.h"
#include "common/state.h"
#include "common/textfile.h"
#include "tilt/skew.h"

namespace {

// A record's text for recognition and numbers: it ends at its first zero byte, and the reader
// puts one after its last byte. Only its first few characters are ever looked at.
struct Text {
    const char* s;
    // The character at `i`, or zero where the text ends before it.
    char at(std::size_t i) const
    {
        for (std::size_t j = 0; j < i; ++j)
            if (s[j] == '\0')
                return '\0';
        return s[i];
    }
};

void lineRecord(const Text& t, unsigned int jd_x)
{
    const char* p = t.s + 1;
    scanDouble(p, ILINEx1) && scanDouble(p, ILINEy1) && scanDouble(p, ILINEx2) && scanDouble(p, ILINEy2);
    if (ILINEx1 == ILINEx2 && ILINEy1 == ILINEy2)
        return;
    stepcnt = 3;
    SKEW_SEG(jd_x);
}

// "hp" + number + variant: " ", "+", "/", "-" store a point; "ln" gives the indicated point.
void pointRecord(const Text& t)
{
    char variant = t.at(3);
    bool indicated = variant == 'l' && t.at(4) == 'n';
    if (!indicated && variant != ' ' && variant != '+' && variant != '/' && variant != '-')
        return;
    const char* p = t.s + 2;
    scanInt(p, iPOINT);
    ++iPOINTcnt;
    if (indicated) {
        p = t.s + 5;
        scanDouble(p, HPOINTx) && scanDouble(p, HPOINTy);
        stepcnt = 2;
        return;
    }
    if (iPOINT < 0 || iPOINT > HPmax)
        return;
    p = t.s + (variant == ' ' ? 3 : 4);
    scanDouble(p, PX[iPOINT]) && scanDouble(p, PY[iPOINT]);
    if (isTest == 3 && variant != '+')
        std::printf("##  hp%d%c  %.2f %.2f \n", iPOINT, variant, PX[iPOINT], PY[iPOINT]);
}

void dispatch(std::string_view buf, unsigned int jd_x)
{
    Text t{buf.data()};
    char second = t.at(1);
    switch (t.at(0)) {
    case '#':
        Echo(buf);
        break;
    case ' ':
        lineRecord(t, jd_x);
        break;
    case 'h':
        if (second == 'q') {
            put("hd\n");
            stepcnt = 1;
        } else if (second == 'p') {
            pointRecord(t);
        }
        break;
    case 'b':
        if (second == 'z')
            Echo(buf);
        break;
    case 'c':
        if (second == 'c') {
            Echo(buf);
        } else if (second == 'n') {
            Echo(buf);
            captureAttribute(t.s);
        }
        break;
    case 'p':
        if (second == 'n') {
            Echo(buf);
            captureAttribute(t.s);
        }
        break;
    case 'l':
        Echo(buf);
        captureAttribute(t.s);
        break;
    default:  // everything else, the host's other elements among them, is dropped
        break;
    }
}

}  // namespace

int QX_PATTERN(unsigned int jd_xmax, unsigned int jd_limit)
{
    std::string_view buf;
    startReading(fp);
    for (unsigned int jd_x = 0; jd_x != jd_limit; ++jd_x) {
        ReadResult read = readRecord(&buf);
        if (read == END_OF_FILE)
            break;
        // The output so far stays in the output work file; nothing reaches the host.
        if (read == READ_FAILED)
            cannotRead(EXCHANGE_FILE);
        if (read == RECORD_TOO_LONG)
            recordTooLong(jd_x + 1, EXCHANGE_FILE);
        if (isTest == 5)
            std::printf("## ---- QX_PATTERN()  qxc_temp.txt processing --------\n"
                        "##  jd_x=%u/%u : jd_x/jd_xmax  jd_limit=%u\n"
                        "##  buf=(%s)\n",
                        jd_x, jd_xmax, jd_limit, buf.data());
        dispatch(buf, jd_x);
    }
    return 0;
}
