// The tilt's trigonometry against MPFR at 200 bits, rounded to the nearest double: random
// arguments weighted toward the hard regions (some by the slow path alone), arguments whose
// values lie very near a midpoint between two doubles. No mismatch is allowed.
// LINETILT_SOAK=N draws N random arguments per function instead of the quick count.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "tilt/trig.h"
#include "tilt/trig_exact.h"

namespace {

// The sanitizers' build draws a tenth: the same code, ten times slower.
long long draws(long long quick)
{
    const char* soak = std::getenv("LINETILT_SOAK");
#ifdef TRIG_FEWER_DRAWS
    quick /= 10;
#endif
    return soak ? std::atoll(soak) : quick;
}

// MPFR's values at 200 bits, rounded to the nearest double.
struct Reference {
    mpfr_t x, y, r, s;
    Reference() { mpfr_inits2(200, x, y, r, s, static_cast<mpfr_ptr>(nullptr)); }
    ~Reference() { mpfr_clears(x, y, r, s, static_cast<mpfr_ptr>(nullptr)); }
};
Reference mp;

bool same(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Checks sin and cos of x, by the fast path or the slow one alone; returns the number of mismatches.
int checkSinCos(double x, bool slowOnly = false)
{
    double s, c;
    slowOnly ? exactSinCos(x, &s, &c) : trigSinCos(x, &s, &c);
    mpfr_set_d(mp.x, x, MPFR_RNDN);
    mpfr_sin_cos(mp.s, mp.r, mp.x, MPFR_RNDN);
    double rs = mpfr_get_d(mp.s, MPFR_RNDN), rc = mpfr_get_d(mp.r, MPFR_RNDN);
    int wrong = !same(s, rs) + !same(c, rc);
    if (wrong)
        ADD_FAILURE() << std::hexfloat << "x = " << x << ": sin " << s << " (want " << rs << "), cos " << c
                      << " (want " << rc << ")";
    return wrong;
}

int checkAtan2(double y, double x, bool slowOnly = false)
{
    double t = slowOnly ? exactAtan2(y, x, std::atan(std::fmin(std::fabs(x), std::fabs(y)) / std::fmax(std::fabs(x), std::fabs(y))))
                        : trigAtan2(y, x);
    mpfr_set_d(mp.y, y, MPFR_RNDN);
    mpfr_set_d(mp.x, x, MPFR_RNDN);
    mpfr_atan2(mp.r, mp.y, mp.x, MPFR_RNDN);
    double want = mpfr_get_d(mp.r, MPFR_RNDN);
    if (!same(t, want))
        ADD_FAILURE() << std::hexfloat << "atan2(" << y << ", " << x << ") = " << t << ", want " << want;
    return !same(t, want);
}

// Arguments of sin and cos up to 10 (beyond, the C library answers): uniform, near multiples
// of pi/2 (down to the nearest doubles), tiny, and the sums t + a a tilt makes.
double sinCosArgument(std::mt19937_64& random)
{
    std::uniform_real_distribution<double> unit(-1, 1);
    switch (int kind = random() % 5) {
    case 0:
        return unit(random) * 10;
    case 1:
    case 2: {
        double near = static_cast<int>(random() % 13 - 6) * 1.5707963267948966;
        if (kind == 1)
            return near + unit(random) * std::ldexp(1, -1 - static_cast<int>(random() % 50));  // within 10
        for (int steps = random() % 8; steps > 0; --steps)
            near = std::nextafter(near, random() % 2 ? 20.0 : -20.0);
        return near;
    }
    case 3:
        return unit(random) * std::ldexp(1, -static_cast<int>(random() % 40));
    default: {
        static const double angles[] = {10, -33.3, 0.5, 127, -359.9, 359.99999, -0.001};
        double t = std::atan2(std::round(unit(random) * 1e7) / 1e3, std::round(unit(random) * 1e7) / 1e3);
        double a = angles[random() % 7] * 3.141592653589793 / 180;
        return random() % 2 ? t + a : t - a;
    }
    }
}

// Arguments of atan2: both signs; coordinate differences; nearly equal magnitudes; ratios
// tiny and huge, down to subnormal results; zeros.
void atan2Arguments(std::mt19937_64& random, double* y, double* x)
{
    std::uniform_real_distribution<double> unit(-1, 1);
    switch (random() % 5) {
    case 0:
        *y = std::round(unit(random) * 1e7) / 1e3 - std::round(unit(random) * 1e7) / 1e3;
        *x = std::round(unit(random) * 1e7) / 1e3 - std::round(unit(random) * 1e7) / 1e3;
        break;
    case 1:
        *x = unit(random);
        *y = *x * (1 + unit(random) * std::ldexp(1, -static_cast<int>(random() % 52))) * (random() % 2 ? 1 : -1);
        break;
    case 2:
        *y = std::ldexp(unit(random), static_cast<int>(random() % 2098) - 1074);
        *x = std::ldexp(unit(random), static_cast<int>(random() % 2098) - 1074);
        break;
    case 3:
        *y = std::ldexp(unit(random), -static_cast<int>(random() % 120));
        *x = unit(random);
        if (random() % 2)
            std::swap(*x, *y);
        break;
    default:
        *y = unit(random) * 1e4;
        *x = random() % 8 ? unit(random) * 1e4 : 0.0 * unit(random);
        break;
    }
}

// Every tenth argument also by the slow path alone, where the fast path rarely lets it be seen.
TEST(Trig, RandomArgumentsAgreeWithMpfr)
{
    std::mt19937_64 random(25);
    int wrong = 0;
    for (long long i = draws(400000); i > 0 && wrong < 10; --i) {
        double x = sinCosArgument(random), y;
        if (i % 4 != 0)  // three sines and cosines to four arctangents
            wrong += checkSinCos(x) + (i % 10 == 1 && std::fabs(x) >= 0x1p-27 ? checkSinCos(x, true) : 0);
        atan2Arguments(random, &y, &x);
        wrong += checkAtan2(y, x) + (i % 10 == 1 && x != 0 && y != 0 ? checkAtan2(y, x, true) : 0);
    }
    EXPECT_EQ(0, wrong);
}

TEST(Trig, HardCasesAgreeWithMpfr)
{
    std::ifstream cases(TRIG_HARD_CASES);
    ASSERT_TRUE(cases.good());
    int count = 0, wrong = 0;
    for (std::string line; std::getline(cases, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string function, a, b;
        fields >> function >> a >> b;
        double x = std::strtod(a.c_str(), nullptr);
        if (function == "atan2") {
            double other = std::strtod(b.c_str(), nullptr);
            for (int signs = 0; signs < 4; ++signs)
                wrong += checkAtan2(signs & 1 ? -x : x, signs & 2 ? -other : other);
        } else {
            wrong += checkSinCos(x) + checkSinCos(-x);
        }
        ++count;
    }
    EXPECT_EQ(201, count);
    EXPECT_EQ(0, wrong);
}

// A quotient below the least normal double may be a midpoint between two subnormals itself;
// arctan lies just below it, so the result is the neighbour toward zero, not the even one.
// (MPFR at 200 bits holds the midpoint itself here and cannot tell.)
TEST(Trig, SubnormalMidpointsRoundTowardZero)
{
    const double tiny = 0x1p-1074;
    EXPECT_EQ(1 * tiny, trigAtan2(3 * tiny, 2));
    EXPECT_EQ(3 * tiny, trigAtan2(7 * tiny, 2));
    EXPECT_EQ(-3 * tiny, trigAtan2(-7 * tiny, 2));
    EXPECT_EQ(0x1p-1023 + tiny, trigAtan2(0x1p-1022 + 3 * tiny, 2));
    EXPECT_EQ(0.0, trigAtan2(tiny, 2));
    EXPECT_EQ(tiny, trigAtan2(tiny, 1.5));
}

}  // namespace
