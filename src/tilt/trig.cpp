// The tilt's trigonometry, correctly rounded: a fast path in double-double arithmetic whose
// error is bounded, and a rounding test after it (Ziv); when the bound leaves the rounding
// open, which is rare, the slow path in wide fixed point decides.
#include "tilt/trig.h"

#include <cmath>

#include "tilt/doubledouble.h"
#include "tilt/trig_exact.h"

namespace {

// Relative error bounds of the fast paths, at least four times what their analysis gives
// (2^-69 and 2^-66.5): a result within this of a midpoint between two doubles goes to the
// slow path.
const double SINCOS_ERROR = 0x1p-65;
const double ATAN_ERROR = 0x1p-64;

const DoubleDouble PI = {0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53};
const DoubleDouble HALF_PI = {0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};

// pi/2 in three parts (Cody and Waite): the first two have 50 and 42 bits, so that k times
// them is exact for |k| <= 7; the third is the rest, rounded, and the error left is 2^-157.
const double TWO_OVER_PI = 0x1.45f306dc9c883p-1;
const double HALF_PI_1 = 0x1.921fb54442d18p+0;
const double HALF_PI_2 = 0x1.1a62633145c00p-54;
const double HALF_PI_3 = 0x1.b839a252049c1p-104;

// Taylor coefficients: the leading ones in double-double, the tail's in double.
const DoubleDouble SIN_3 = {-0x1.5555555555555p-3, -0x1.5555555555555p-57};
const DoubleDouble SIN_5 = {0x1.1111111111111p-7, 0x1.1111111111111p-63};
const DoubleDouble SIN_7 = {-0x1.a01a01a01a01ap-13, -0x1.a01a01a01a01ap-73};
const double SIN_TAIL[] = {0x1.71de3a556c734p-19,  -0x1.ae64567f544e4p-26, 0x1.6124613a86d09p-33,
                           -0x1.ae7f3e733b81fp-41, 0x1.952c77030ad4ap-49,  -0x1.2f49b46814157p-57,
                           0x1.71b8ef6dcf572p-66};  // 1/9! .. 1/21!
const DoubleDouble COS_4 = {0x1.5555555555555p-5, 0x1.5555555555555p-59};
const DoubleDouble COS_6 = {-0x1.6c16c16c16c17p-10, 0x1.f49f49f49f49fp-65};
const double COS_TAIL[] = {0x1.a01a01a01a01ap-16,  -0x1.27e4fb7789f5cp-22, 0x1.1eed8eff8d898p-29,
                           -0x1.93974a8c07c9dp-37, 0x1.ae7f3e733b81fp-45,  -0x1.6827863b97d97p-53,
                           0x1.e542ba4020225p-62,  -0x1.0ce396db7f853p-70};  // 1/8! .. 1/22!

// arctan(i/64), i = 0 .. 64, in double-double.
const DoubleDouble ATAN_TABLE[65] = {
    {0x0.0p+0, 0x0.0p+0},
    {0x1.fff555bbb729bp-7, -0x1.220c39d4dff50p-61},
    {0x1.ffd55bba97625p-6, -0x1.5ec431444912cp-60},
    {0x1.7fb818430da2ap-5, -0x1.86ef8f794f105p-63},
    {0x1.ff55bb72cfdeap-5, -0x1.c934d86d23f1dp-60},
    {0x1.3f59f0e7c559dp-4, 0x1.ac4ce285df847p-58},
    {0x1.7ee182602f10fp-4, -0x1.cfb654c0c3d98p-58},
    {0x1.be39ebe6f07c3p-4, 0x1.f7b8f29a05987p-58},
    {0x1.fd5ba9aac2f6ep-4, -0x1.cd37686760c17p-59},
    {0x1.1e1fafb043727p-3, -0x1.b485914dacf8cp-59},
    {0x1.3d6eee8c6626cp-3, 0x1.61a3b0ce9281bp-57},
    {0x1.5c9811e3ec26ap-3, -0x1.054ab2c010f3dp-58},
    {0x1.7b97b4bce5b02p-3, 0x1.347b0b4f881cap-58},
    {0x1.9a6a8e96c8626p-3, 0x1.cf601e7b4348ep-59},
    {0x1.b90d7529260a2p-3, 0x1.17b10d2e0e5abp-61},
    {0x1.d77d5df205736p-3, 0x1.c648d1534597ep-57},
    {0x1.f5b75f92c80ddp-3, 0x1.8ab6e3cf7afbdp-57},
    {0x1.09dc597d86362p-2, 0x1.62e47390cb865p-56},
    {0x1.18bf5a30bf178p-2, 0x1.30ca4748b1bf9p-57},
    {0x1.278372057ef46p-2, -0x1.077cdd36dfc81p-56},
    {0x1.362773707ebccp-2, -0x1.963a544b672d8p-57},
    {0x1.44aa436c2af0ap-2, -0x1.5d5e43c55b3bap-56},
    {0x1.530ad9951cd4ap-2, -0x1.2566480884082p-57},
    {0x1.614840309cfe2p-2, -0x1.a725715711f00p-56},
    {0x1.6f61941e4def1p-2, -0x1.c63aae6f6e918p-56},
    {0x1.7d5604b63b3f7p-2, 0x1.69c885c2b249ap-56},
    {0x1.8b24d394a1b25p-2, 0x1.b6d0ba3748fa8p-56},
    {0x1.98cd5454d6b18p-2, 0x1.9e6c988fd0a77p-56},
    {0x1.a64eec3cc23fdp-2, -0x1.24dec1b50b7ffp-56},
    {0x1.b3a911da65c6cp-2, 0x1.ae187b1ca5040p-56},
    {0x1.c0db4c94ec9f0p-2, -0x1.cc1ce70934c34p-56},
    {0x1.cde53432c1351p-2, -0x1.a2cfa4418f1adp-56},
    {0x1.dac670561bb4fp-2, 0x1.a2b7f222f65e2p-56},
    {0x1.e77eb7f175a34p-2, 0x1.0e53dc1bf3435p-56},
    {0x1.f40dd0b541418p-2, -0x1.a3992dc382a23p-57},
    {0x1.0039c73c1a40cp-1, -0x1.b32c949c9d593p-55},
    {0x1.0657e94db30d0p-1, -0x1.d5b495f6349e6p-56},
    {0x1.0c6145b5b43dap-1, 0x1.974fa13b5404fp-58},
    {0x1.1255d9bfbd2a9p-1, -0x1.2bdaee1c0ee35p-58},
    {0x1.1835a88be7c13p-1, 0x1.c621cec00c301p-55},
    {0x1.1e00babdefeb4p-1, -0x1.928df287a668fp-58},
    {0x1.23b71e2cc9e6ap-1, 0x1.c421c9f38224ep-57},
    {0x1.2958e59308e31p-1, -0x1.09e73b0c6c087p-56},
    {0x1.2ee628406cbcap-1, 0x1.c5d5e9ff0cf8dp-55},
    {0x1.345f01cce37bbp-1, 0x1.1021137c71102p-55},
    {0x1.39c391cd4171ap-1, -0x1.2304331d8bf46p-55},
    {0x1.3f13fb89e96f4p-1, 0x1.ecf8b492644f0p-56},
    {0x1.445065b795b56p-1, -0x1.f76d0163f79c8p-56},
    {0x1.4978fa3269ee1p-1, 0x1.2419a87f2a458p-56},
    {0x1.4e8de5bb6ec04p-1, 0x1.4a33dbeb3796cp-55},
    {0x1.538f57b89061fp-1, -0x1.1bb74abda520cp-55},
    {0x1.587d81f732fbbp-1, -0x1.5e5c9d8c5a950p-56},
    {0x1.5d58987169b18p-1, 0x1.0028e4bc5e7cap-57},
    {0x1.6220d115d7b8ep-1, -0x1.2b785350ee8c1p-57},
    {0x1.66d663923e087p-1, -0x1.6ea6febe8bbbap-56},
    {0x1.6b798920b3d99p-1, -0x1.a80386188c50ep-55},
    {0x1.700a7c5784634p-1, -0x1.8c34d25aadef6p-56},
    {0x1.748978fba8e0fp-1, 0x1.7b2a6165884a1p-59},
    {0x1.78f6bbd5d315ep-1, 0x1.406a089803740p-55},
    {0x1.7d528289fa093p-1, 0x1.560821e2f3aa9p-55},
    {0x1.819d0b7158a4dp-1, -0x1.bf76229d3b917p-56},
    {0x1.85d69576cc2c5p-1, 0x1.6b66e7fc8b8c3p-57},
    {0x1.89ff5ff57f1f8p-1, -0x1.55b9a5e177a1bp-55},
    {0x1.8e17aa99cc05ep-1, -0x1.ec182ab042f61p-56},
    {0x1.921fb54442d18p-1, 0x1.1a62633145c07p-55},
};
const double ATAN_TAIL[] = {-0x1.5555555555555p-2, 0x1.999999999999ap-3, -0x1.2492492492492p-3,
                            0x1.c71c71c71c71cp-4, -0x1.745d1745d1746p-4};  // -1/3 .. -1/11

// The double nearest v when v's error bound (relative, `bound`) leaves no doubt: both ends of
// the interval round alike. The bound is generous enough to cover the rounding of the ends.
bool rounded(DoubleDouble v, double bound, double* result)
{
    double e = bound * std::fabs(v.hi);
    double down = v.hi + (v.lo - e), up = v.hi + (v.lo + e);
    *result = down;
    return down == up;
}

double horner(const double* c, int count, double u)
{
    double p = c[count - 1];
    for (int i = count - 2; i >= 0; --i)
        p = c[i] + u * p;
    return p;
}

// arctan(z) for 2^-57 <= z <= 1 as double-double: z = c + ..., c = i/64 the nearest, and
// arctan z = arctan c + arctan w with w = (z - c) / (1 + z c), |w| <= 1/128; w's series in
// double beyond its first term, whose size it cannot spoil.
DoubleDouble atanReduced(DoubleDouble z)
{
    int i = static_cast<int>(z.hi * 64 + 0.5);
    DoubleDouble w = z;
    if (i > 0) {
        double c = i * 0x1p-6;
        DoubleDouble top = twoSum(z.hi - c, z.lo);  // z.hi - c is exact
        DoubleDouble bottom = ddAddD(ddMulD(z, c), 1.0);
        w = ddDiv(top, bottom);
    }
    double w2 = w.hi * w.hi;
    DoubleDouble atanW = ddAddD(w, w.hi * w2 * horner(ATAN_TAIL, 5, w2));
    return ddAdd(ATAN_TABLE[i], atanW);
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
    int shift = std::ilogb(num) - std::ilogb(den);  // num / den < 2^(shift + 1)
    DoubleDouble theta;
    if (shift < -56) {
        // arctan z = z - z^3/3 + ...: below 2^-55, z alone rounds correctly, for no ratio of
        // two doubles lies within 2^-107 of a midpoint between two normal doubles. A
        // subnormal quotient, which may be a midpoint itself, goes to the slow path.
        double z = num / den;
        if (!swapped && x > 0) {
            if (z >= 0x1p-1022)
                return std::copysign(z, y);
            return exactAtan2(y, x, 0);
        }
        theta = {z, 0};
    } else {
        // Scaled so that den is in [1, 2): exact, and nothing overflows or underflows.
        int scale = -std::ilogb(den);
        num = std::ldexp(num, scale);
        den = std::ldexp(den, scale);
        double q = num / den;
        DoubleDouble p = twoProd(q, den);
        DoubleDouble z = {q, ((num - p.hi) - p.lo) / den};  // the remainder is exact
        theta = atanReduced(z);
    }
    double guess = theta.hi;
    if (swapped)
        theta = ddAdd(HALF_PI, ddNeg(theta));
    if (x < 0)
        theta = ddAdd(PI, ddNeg(theta));
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
    // x = k pi/2 + r, |r| <= pi/4 (a little more from k's rounding); r is never below 2^-54
    // but for k = 0: no double lies nearer a multiple of pi/2 up to 10.
    double k = std::floor(x * TWO_OVER_PI + 0.5);
    DoubleDouble r = twoSum(x - k * HALF_PI_1, -k * HALF_PI_2);  // both products and the difference exact
    DoubleDouble k3 = twoProd(k, HALF_PI_3);
    r = fastTwoSum(r.hi, (r.lo - k3.hi) - k3.lo);

    DoubleDouble u = ddMul(r, r);
    DoubleDouble s = ddAddD(SIN_7, u.hi * horner(SIN_TAIL, 7, u.hi));
    s = ddAdd(SIN_5, ddMul(u, s));
    s = ddAdd(SIN_3, ddMul(u, s));
    s = ddAdd(r, ddMul(ddMul(r, u), s));
    DoubleDouble c = ddAddD(COS_6, u.hi * horner(COS_TAIL, 8, u.hi));
    c = ddAdd(COS_4, ddMul(u, c));
    c = ddAddD(ddMul(u, c), -0.5);
    c = ddAddD(ddMul(u, c), 1.0);

    int quadrant = static_cast<int>(k) & 3;
    DoubleDouble sinX = quadrant & 1 ? c : s, cosX = quadrant & 1 ? s : c;
    if (quadrant >= 2)
        sinX = ddNeg(sinX);
    if (quadrant == 1 || quadrant == 2)
        cosX = ddNeg(cosX);
    if (!rounded(sinX, SINCOS_ERROR, sine) || !rounded(cosX, SINCOS_ERROR, cosine))
        exactSinCos(x, sine, cosine);
}
