// The line tilt: the pivot nearest the indicated point, the sense of turning, the guards.
#include <gtest/gtest.h>

#include <cmath>

#include "common/state.h"
#include "common/textfile.h"
#include "tilt/skew.h"

namespace {

struct Tilt {
    double x1, y1, x2, y2, hx, hy, angle;
    int cnt, num;     // point records read, and the number of the last one
    int result;       // what SKEW_SEG returns
    const char* out;  // the line record it writes, without its line end
};

const Tilt TILTS[] = {
    {0, 0, 100, 0, 1, 1, 10, 1, 1, 0, " 0.000000000000 0.000000000000 98.480775301221 17.364817766693 "},
    {0, 0, 100, 0, 50, 0, 10, 1, 1, 0, " 0.759612349390 -8.682408883347 99.240387650610 8.682408883347 "},
    {0, 0, 100, 0, 100, 0, 10, 1, 1, 0, " 1.519224698779 17.364817766693 100.000000000000 0.000000000000 "},
    {100, 0, 0, 0, 100, 0, 10, 1, 1, 0, " 1.519224698779 17.364817766693 100.000000000000 0.000000000000 "},
    {100, 0, 0, 0, 1, 1, 10, 1, 1, 0, " 0.000000000000 0.000000000000 98.480775301221 17.364817766693 "},
    // Ties: an end before the midpoint, the first end before the second.
    {0, 0, 100, 0, 25, 0, 10, 1, 1, 0, " 0.000000000000 0.000000000000 98.480775301221 17.364817766693 "},
    {0, 0, 100, 0, 75, 0, 10, 1, 1, 0, " 1.519224698779 17.364817766693 100.000000000000 0.000000000000 "},
    {0, 0, 100, 0, 50, 50, 10, 1, 1, 0, " 0.759612349390 -8.682408883347 99.240387650610 8.682408883347 "},
    // A vertical line leans by the order of its ends.
    {0, 0, 0, 100, 0, 0, 10, 1, 1, 0, " 0.000000000000 0.000000000000 -17.364817766693 98.480775301221 "},
    {0, 100, 0, 0, 0, 0, 10, 1, 1, 0, " 17.364817766693 98.480775301221 0.000000000000 0.000000000000 "},
    {10, 20, 40, 60, 0, 0, 10, 1, 1, 0, " 10.000000000000 20.000000000000 32.598305483689 64.601755450496 "},
    {10, 20, 40, 60, 25, 40, 10, 1, 1, 0, " 13.700847258155 17.699122274752 36.299152741845 62.300877725248 "},
    {0, 0, 100, 0, 1, 1, -10, 1, 1, 0, " 0.000000000000 0.000000000000 98.480775301221 -17.364817766693 "},
    {0, 0, 100, 0, 1, 1, 0, 0, 0, 0, " 0.000000000000 0.000000000000 100.000000000000 0.000000000000 "},
    {0.1, 1e-7, 3, 4, 0, 0, 33, 0, -5, 0, " 0.100000000000 0.000000100000 0.353588561446 4.934135489458 "},
    // NaN distances fall to the second branch, which gives the midpoint.
    {0, 0, 100, 0, NAN, 0, 10, 1, 1, 0, " 0.759612349390 -8.682408883347 99.240387650610 8.682408883347 "},
    {0, 0, 100, 0, 1, 1, 10, 2, 1, 1, ""},
    {0, 0, 100, 0, 1, 1, 10, 1, 2, 2, ""},  // one point record, numbered 2
};

class TiltTest : public testing::TestWithParam<Tilt> {};

TEST_P(TiltTest, WritesTheTurnedLine)
{
    const Tilt& t = GetParam();
    std::FILE* saved = fpw;
    fpw = std::tmpfile();
    PAI = 3.141592653589793;
    ANGLE = t.angle;
    ILINEx1 = t.x1, ILINEy1 = t.y1, ILINEx2 = t.x2, ILINEy2 = t.y2;
    HPOINTx = t.hx, HPOINTy = t.hy;
    iPOINTcnt = t.cnt, iPOINT = t.num;
    EXPECT_EQ(t.result, SKEW_SEG(0));
    flushText(fpw);
    std::rewind(fpw);
    char written[256] = "";
    std::fgets(written, sizeof written, fpw);
    closeText(fpw);
    fpw = saved;
    ANGLE = 10.0;
    EXPECT_EQ(t.out + std::string(*t.out ? "\r\n" : ""), written);
    if (t.x1 > t.x2) {  // the exchange of ends is left in the run state
        EXPECT_EQ(t.x2, ILINEx1);
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, TiltTest, testing::ValuesIn(TILTS));

}  // namespace
