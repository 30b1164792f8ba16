// The tilt's trigonometry, correctly rounded: a fast path in double-double arithmetic whose
// error is bounded, and a rounding test after it (Ziv); when the bound leaves the rounding
// open, which is rare, the slow path in wide fixed point decides.
#include "tilt/trig.h"

#include <cmath>

#include "tilt/doubledouble.h"
#include "tilt/trig_exact.h"
#include "tilt/trig_tables.h"

namespace {

// Relative error bounds of the fast paths, four times what their analysis gives (2^-67
// and 2^-68): a result within this of a midpoint between two doubles goes to the slow path.
const double SINCOS_ERROR = 0x1p-65;
const double ATAN_ERROR = 0x1p-66;

const DoubleDouble PI = {0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53};
const DoubleDouble HALF_PI = {0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};

// pi/512 in three parts (Cody and Waite): the first two have 42 and 41 bits, so that j times
// them is exact for |j| < 2^11; the third is the rest, rounded, and the error left is 2^-150.
const double STEPS_PER_RADIAN = 0x1.45f306dc9c883p+7;  // 512/pi
const double STEP_1 = 0x1.921fb54442800p-8;
const double STEP_2 = 0x1.4611a62633000p-50;
const double STEP_3 = 0x1.45c06e0e68948p-94;

// Adding and subtracting it rounds a double below 2^51 to an integer, ties to even.
const double TO_INTEGER = 0x1.8p52;

// Taylor coefficients for |z| <= 2^-8.
const double SIN_3 = -0x1.5555555555555p-3, SIN_5 = 0x1.1111111111111p-7, SIN_7 = -0x1.a01a01a01a01ap-13;
const double COS_4 = 0x1.5555555555555p-5, COS_6 = -0x1.6c16c16c16c17p-10;
const double ATAN_3 = -0x1.5555555555555p-2, ATAN_5 = 0x1.999999999999ap-3, ATAN_7 = -0x1.2492492492492p-3,
             ATAN_9 = 0x1.c71c71c71c71cp-4;

// The double nearest v when v's error bound (relative, `bound`) leaves no doubt: both ends of
// the interval round alike. The bound is generous enough to cover the rounding of the ends.
bool rounded(DoubleDouble v, double bound, double* result)
{
    double e = bound * std::fabs(v.hi);
    double down = v.hi + (v.lo - e), up = v.hi + (v.lo + e);
    *result = down;
    return down == up;
}

// c * a exactly as an unevaluated sum, for c of at most 26 significant bits (Veltkamp's
// split of a alone).
DoubleDouble mulShort(double c, double a)
{
    double ca = 134217729.0 * a, ah = ca - (ca - a);
    return {c * ah, c * (a - ah)};
}

// arctan(num / den) for 2^-57 <= num / den <= 1, den in [2^-500, 2^500], as double-double:
// with c = i/128 the nearest, arctan z = arctan c + arctan w, w = (num - c den) / (den + c
// num), |w| <= 2^-8. w's series in double beyond its first term, whose size it cannot spoil.
DoubleDouble atanRatio(double num, double den)
{
    double q = num / den;
    int i = static_cast<int>(q * 128 + 0.5);
    DoubleDouble w;
    if (i == 0) {
        DoubleDouble p = twoProd(q, den);
        w = {q, ((num - p.hi) - p.lo) / den};  // the remainder is exact
    } else {
        double c = i * 0x1p-7;
        DoubleDouble cd = mulShort(c, den), cn = mulShort(c, num);
        DoubleDouble top = twoSum(num - cd.hi, -cd.lo);  // num - cd.hi is exact
        DoubleDouble bottom = twoSum(den, cn.hi);
        w = ddDiv(top, fastTwoSum(bottom.hi, bottom.lo + cn.lo));  // normalised: the division needs it
    }
    double w2 = w.hi * w.hi;
    double tail = w.hi * w2 * (ATAN_3 + w2 * (ATAN_5 + w2 * (ATAN_7 + w2 * ATAN_9)));
    DoubleDouble sum = twoSum(ATAN_TABLE[i].hi, w.hi);
    return fastTwoSum(sum.hi, sum.lo + (ATAN_TABLE[i].lo + w.lo + tail));
}

}  // namespace

double trigAtan2(double y, double x)
{
    if (!std::isfinite(x) || !std::isfinite(y))
        return std::atan2(y, x);
    if (y == 0)
        return std::signbit(x) ? std::copysign(PI.hi, y) : y;
    if (x == 0)
        return std::copysign(HALF_PI.hi, y);
    double ay = std::fabs(y), ax = std::fabs(x);
    bool swapped = ay > ax;
    double num = swapped ? ax : ay, den = swapped ? ay : ax;
    DoubleDouble theta;
    if (num < den * 0x1p-56) {
        // arctan z = z - z^3/3 + ...: below 2^-56, z alone rounds correctly, for no ratio of
        // two doubles lies within 2^-107 of a midpoint between two normal doubles. A
        // subnormal quotient, which may be a midpoint itself, goes to the slow path.
        double z = num / den;
        if (!swapped && x > 0) {
            if (z >= 0x1p-1022)
                return std::copysign(z, y);
            return exactAtan2(y, x, 0);
        }
        theta = {z, 0};
    } else if (den >= 0x1p-500 && den <= 0x1p500) {
        theta = atanRatio(num, den);
    } else {
        int scale = -std::ilogb(den);  // exact: num is at least den 2^-56
        theta = atanRatio(std::ldexp(num, scale), std::ldexp(den, scale));
    }
    // The octant: theta, pi/2 - theta, pi/2 + theta or pi - theta.
    double guess = theta.hi;
    if (swapped || x < 0) {
        DoubleDouble base = swapped ? HALF_PI : PI;
        if (swapped == (x > 0))
            theta = ddNeg(theta);
        DoubleDouble sum = twoSum(base.hi, theta.hi);
        theta = fastTwoSum(sum.hi, sum.lo + (base.lo + theta.lo));
    }
    double result;
    if (!rounded(theta, ATAN_ERROR, &result))
        return exactAtan2(y, x, guess);
    return std::copysign(result, y);
}

void trigSinCos(double x, double* sine, double* cosine)
{
    double ax = std::fabs(x);
    if (!(ax <= 10)) {
        *sine = std::sin(x);
        *cosine = std::cos(x);
        return;
    }
    if (ax < 0x1p-27) {
        // sin x = x (1 - x^2/6 + ...) and cos x = 1 - x^2/2 + ...: x and 1 are nearer than
        // half the gap to the next double toward zero.
        *sine = x;
        *cosine = 1;
        return;
    }
    // x = j pi/512 + z, |z| <= pi/1024 (a little more from j's rounding), z in double-double.
    // j pi/512 is a quarter turns q and a table angle a = i pi/512. z is at least 2^-54
    // where i is 0 and q not: no double up to 10 lies nearer a multiple of pi/2.
    double jd = x * STEPS_PER_RADIAN + TO_INTEGER - TO_INTEGER;
    DoubleDouble z = twoSum(x - jd * STEP_1, -jd * STEP_2);  // both products and the difference exact
    z = fastTwoSum(z.hi, z.lo - jd * STEP_3);
    int j = static_cast<int>(jd), quadrant = (j >> 8) & 3, i = j & 255;

    // sin(a + z) = sin a + cos a sin z + sin a (cos z - 1) and cos(a + z) = cos a - sin a sin z
    // + cos a (cos z - 1), the products with z's leading part exact.
    double zh = z.hi, zl = z.lo, z2 = zh * zh;
    double sinTail = zh * z2 * (SIN_3 + z2 * (SIN_5 + z2 * SIN_7));  // sin z - z
    double cosLow = -zh * zl + z2 * z2 * (COS_4 + z2 * COS_6);
    double cosHigh = -0.5 * z2;  // cos z - 1 = cosHigh + cosLow
    DoubleDouble sa = SIN_COS_TABLE[i][0], ca = SIN_COS_TABLE[i][1];
    DoubleDouble m = twoProd(ca.hi, zh), n = twoProd(sa.hi, zh);
    // The small terms first, the largest last: one rounding of a sum that size.
    DoubleDouble s = twoSum(sa.hi, m.hi);
    s = fastTwoSum(s.hi, s.lo + m.lo + ca.hi * zl + ca.lo * zh + sa.lo + sa.hi * cosLow + ca.hi * sinTail +
                             sa.hi * cosHigh);
    DoubleDouble c = twoSum(ca.hi, -n.hi);
    c = fastTwoSum(c.hi, c.lo - n.lo - sa.hi * zl - sa.lo * zh + ca.lo + ca.hi * cosLow - sa.hi * sinTail +
                             ca.hi * cosHigh);

    DoubleDouble sinX = quadrant & 1 ? c : s, cosX = quadrant & 1 ? s : c;
    if (quadrant >= 2)
        sinX = ddNeg(sinX);
    if (quadrant == 1 || quadrant == 2)
        cosX = ddNeg(cosX);
    if (!rounded(sinX, SINCOS_ERROR, sine) || !rounded(cosX, SINCOS_ERROR, cosine))
        exactSinCos(x, sine, cosine);
}
