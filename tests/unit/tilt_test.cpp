// The line tilt: pivot choice, direction of turning, the guards and the state it leaves.
#include <gtest/gtest.h>

#include <cmath>

#include "capture.h"
#include "tilt/skew.h"

namespace {

struct Line { double x1, y1, x2, y2; };

// Turns `line` about the pivot nearest `(hx, hy)` as the reader would, after one
// indicated-point record; returns what was written.
std::string tilt(Line line, double hx, double hy, double angle = 10.0, int* result = nullptr)
{
    OutputCapture out;
    double savedAngle = ANGLE;
    PAI = 3.141592653589793;
    ANGLE = angle;
    ILINEx1 = line.x1, ILINEy1 = line.y1, ILINEx2 = line.x2, ILINEy2 = line.y2;
    HPOINTx = hx, HPOINTy = hy;
    iPOINT = 1, iPOINTcnt = 1;
    int r = SKEW_SEG(0);
    if (result)
        *result = r;
    ANGLE = savedAngle;
    return out.text();
}

const Line flat{0, 0, 100, 0};
const std::string FIRST = " 0.000000000000 0.000000000000 98.480775301221 17.364817766693 \r\n";
const std::string MIDDLE = " 0.759612349390 -8.682408883347 99.240387650610 8.682408883347 \r\n";
const std::string SECOND = " 1.519224698779 17.364817766693 100.000000000000 0.000000000000 \r\n";

}  // namespace

TEST(Tilt, TurnsAboutThePivotNearestTheIndicatedPoint)
{
    EXPECT_EQ(FIRST, tilt(flat, 1, 1));
    EXPECT_EQ(MIDDLE, tilt(flat, 50, 0));
    EXPECT_EQ(SECOND, tilt(flat, 100, 0));
    EXPECT_EQ(" 10.000000000000 20.000000000000 32.598305483689 64.601755450496 \r\n",
              tilt({10, 20, 40, 60}, 0, 0));
}

TEST(Tilt, TiesGoToAnEndBeforeTheMidpoint)
{
    EXPECT_EQ(FIRST, tilt(flat, 25, 0));    // d1 = dm
    EXPECT_EQ(SECOND, tilt(flat, 75, 0));   // d2 = dm
    EXPECT_EQ(MIDDLE, tilt(flat, 50, 50));  // d1 = d2 > dm
}

TEST(Tilt, EndsAreOrderedByXAndStayExchanged)
{
    EXPECT_EQ(SECOND, tilt({100, 0, 0, 0}, 100, 0));
    EXPECT_EQ(FIRST, tilt({100, 0, 0, 0}, 1, 1));
    EXPECT_EQ(0.0, ILINEx1);  // the exchange is left in the run state
    EXPECT_EQ(100.0, ILINEx2);
}

TEST(Tilt, VerticalLinesLeanByTheOrderOfTheirEnds)
{
    EXPECT_EQ(" 0.000000000000 0.000000000000 -17.364817766693 98.480775301221 \r\n",
              tilt({0, 0, 0, 100}, 0, 0));
    EXPECT_EQ(" 17.364817766693 98.480775301221 0.000000000000 0.000000000000 \r\n",
              tilt({0, 100, 0, 0}, 0, 0));
}

TEST(Tilt, AngleSetsSizeAndSense)
{
    EXPECT_EQ(" 0.000000000000 0.000000000000 98.480775301221 -17.364817766693 \r\n", tilt(flat, 1, 1, -10));
    EXPECT_EQ(" 0.000000000000 0.000000000000 100.000000000000 0.000000000000 \r\n", tilt(flat, 1, 1, 0));
}

TEST(Tilt, TheEndThatStaysKeepsItsExactValue)
{
    std::string out = tilt({0.1, 1e-7, 3, 4}, 0, 0, 33);
    EXPECT_EQ(0u, out.find(" 0.100000000000 0.000000100000 "));
}

TEST(Tilt, GuardsDropTheLine)
{
    OutputCapture out;
    ILINEx1 = 0, ILINEy1 = 0, ILINEx2 = 1, ILINEy2 = 1;
    iPOINTcnt = 2, iPOINT = 1;
    EXPECT_EQ(1, SKEW_SEG(0));
    iPOINTcnt = 1, iPOINT = 2;
    EXPECT_EQ(2, SKEW_SEG(0));
    iPOINTcnt = 0, iPOINT = -5;  // no point record, or a negative number, passes
    EXPECT_EQ(0, SKEW_SEG(0));
    std::string written = out.text();
    EXPECT_EQ(1, std::count(written.begin(), written.end(), '\n'));
}

TEST(Tilt, NaNDistancesFallToTheSecondBranch)
{
    int result = -1;
    std::string out = tilt({0, 0, 100, 0}, NAN, 0, 10, &result);
    EXPECT_EQ(0, result);
    // Every distance is NaN: the second branch gives the midpoint, which then moves.
    EXPECT_EQ(" 0.759612349390 -8.682408883347 99.240387650610 8.682408883347 \r\n", out);
}
