// Number reading and fixed-point writing: the fast paths against the C library's and
// std::to_chars' results on random and edge cases, and the integer reads' own rules.
// LINETILT_SOAK=N draws N random cases per differential test instead of the quick count.
#include <gtest/gtest.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "exchange/numbers.h"
#include "output/fixed.h"

namespace {

long long draws(long long quick)
{
    const char* soak = std::getenv("LINETILT_SOAK");
    return soak ? std::atoll(soak) : quick;
}

std::string digits(std::mt19937_64& random, int count)
{
    std::string text;
    int style = random() % 4;  // runs of 0 and 9 give the near-ties and carries
    for (int i = 0; i < count; ++i)
        text += style == 0 ? '0' : style == 1 ? '9' : static_cast<char>('0' + random() % 10);
    return text;
}

// Blanks, sign, digits, point, exponent and junk, each present or not, of any length.
std::string decimalText(std::mt19937_64& random)
{
    static const char* blanks[] = {"", "", " ", "\t \n"};
    static const char* signs[] = {"", "", "-", "+"};
    static const char* junk[] = {"", " 5", "x", "e", "e+", ".", "-", ",7", ":"};
    std::string text = blanks[random() % 4];
    text += signs[random() % 4];
    int longest = random() % 64 == 0 ? 800 : 22;
    text += digits(random, random() % (longest + 1));
    if (random() % 3)
        text += "." + digits(random, random() % (longest + 1));
    if (random() % 4 == 0)
        text += std::string(random() % 2 ? "e" : "E") + signs[random() % 4] + digits(random, 1 + random() % 4);
    return text + junk[random() % 9];
}

// The exact decimal text of the point halfway between `d` and the next double: long double
// holds it exactly, and glibc prints it exactly.
std::string tieText(double d)
{
    long double half = (static_cast<long double>(d) + std::nextafter(d, INFINITY)) / 2;
    char text[1200];
    std::snprintf(text, sizeof text, "%.1100Lg", half);
    return text;
}

void expectSameAsStrtod(const std::string& text)
{
    char* end;
    double expected = std::strtod(text.c_str(), &end);
    const char* p = text.c_str();
    const double untouched = 1234.5;
    double value = untouched;
    bool read = scanDouble(p, value);
    ASSERT_EQ(end != text.c_str(), read) << text;
    ASSERT_EQ(read ? end : text.c_str(), p) << text;
    ASSERT_EQ(0, std::memcmp(read ? &expected : &untouched, &value, sizeof value)) << text;
}

void expectSameAsToChars(double value)
{
    for (int decimals : {2, 6, 12}) {
        char expected[FIXED_ROOM + 8], written[FIXED_ROOM + 8];
        auto end = std::to_chars(expected, expected + FIXED_ROOM, value, std::chars_format::fixed, decimals).ptr;
        char* last = writeFixed(written, value, decimals);
        ASSERT_EQ(std::string(expected, end), std::string(written, last)) << decimals << " " << value;
    }
}

}  // namespace

TEST(Numbers, ReadsDoublesAsStrtod)
{
    for (const char* text :
         {"0", "-0", "+0.0", "0x1p-3", "-0X1.8p1", "0x", "inf", "-Infinity", "nan", "nan(12)", "-nan", ".5", "5.",
          ".", "-.", "e5", "1e", "1e+", "1e-5x", " \t\n\v\f\r7", "++1", "+-1", "--1", "1.5.5", "1e309", "-1e-400",
          "4.9e-324", "2.4703282292062327e-324", "2.4703282292062328e-324", "2.2250738585072011e-308",
          "1.7976931348623157e308", "1.7976931348623158e308", "1.7976931348623159e308", "9007199254740993",
          "9007199254740993.0000000000000000001", "123456789012345678901234567890"})
        expectSameAsStrtod(text);
    std::mt19937_64 random(14);
    for (long long i = 0, n = draws(200000); i < n; ++i) {
        expectSameAsStrtod(decimalText(random));
        if (i % 8 == 0) {  // a tie between two doubles, mostly of the magnitudes of coordinates
            std::uint64_t bits = random();
            double d;
            std::memcpy(&d, &bits, sizeof d);
            if (i % 64)
                d = std::ldexp(static_cast<double>(bits >> 11), static_cast<int>(random() % 120) - 100);
            if (std::isfinite(d))
                expectSameAsStrtod(tieText(d));
        }
    }
}

TEST(Numbers, WritesFixedPointAsToChars)
{
    const double edges[] = {0.0, 1.0, 0.5, 0.125, 0.005, 0.0000005, 9.9999999999995, 999.9999999999995,
                            999999.9999995, 1e22, 1e-22, 18446744073709551616.0, 9223372036854775808.0,
                            std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
                            std::numeric_limits<double>::denorm_min(), INFINITY, NAN};
    for (double d : edges)
        for (double v : {d, -d, std::nextafter(d, 0.0), std::nextafter(d, INFINITY)})
            expectSameAsToChars(v);
    for (int k = -25; k <= 25; ++k)
        expectSameAsToChars(std::pow(10.0, k));
    std::mt19937_64 random(14);
    for (long long i = 0, n = draws(200000); i < n; ++i) {
        std::uint64_t bits = random();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        switch (i % 4) {
        case 0:  // anywhere in the whole range
            break;
        case 1:  // the magnitudes of coordinates, and the limit of the exact path at 2^64
            v = std::ldexp(static_cast<double>(bits >> 11), static_cast<int>(random() % 130) - 110);
            break;
        default:  // exact ties at the 12th, 6th and 2nd decimal (odd / 2^(N+1)), and one ulp either side
            int decimals = "\14\6\2"[random() % 3];
            v = std::ldexp(static_cast<double>((bits >> (11 + random() % 53)) | 1), -(decimals + 1));
            v = i % 3 == 0 ? v : std::nextafter(v, i % 3 == 1 ? 0.0 : INFINITY);
        }
        expectSameAsToChars(bits >> 63 ? -v : v);
    }
}

// "%d" and "%x": what is taken, where reading stops, clamping, and no number at all.
TEST(Numbers, ReadsIntegersLikeScanf)
{
    struct { const char* text; bool hex, read; int value; const char* rest; } cases[] = {
        {"  -12 x", false, true, -12, " x"}, {"99999999999999999999999", false, true, INT_MAX, ""},
        {"-2147483649", false, true, INT_MIN, ""}, {"1f", true, true, 31, ""}, {"1F", true, true, 31, ""},
        {"0x10", true, true, 16, ""}, {"ffffffff", true, true, -1, ""}, {"-2", true, true, -2, ""},
        {"100000000", true, true, -1, ""}, {"123456789abcdef0123", true, true, -1, ""},
    };
    for (auto c : cases) {
        const char* p = c.text;
        int value = 7;
        EXPECT_EQ(c.read, c.hex ? scanHex(p, value) : scanInt(p, value)) << c.text;
        EXPECT_EQ(c.value, value) << c.text;
        EXPECT_STREQ(c.rest, p) << c.text;
    }
    for (const char* text : {"-", "+x", "- 5", "--5", "", "xyz", " x"}) {
        const char* p = text;
        int value = 7;
        EXPECT_FALSE(scanInt(p, value) || scanHex(p, value)) << text;
        EXPECT_EQ(7, value);  // a failed read leaves the value and the position alone
        EXPECT_EQ(text, p);
    }
}
