// Number reading from record text: what is taken, where reading stops, and no overflow.
#include <gtest/gtest.h>

#include <climits>

#include "exchange/numbers.h"

TEST(Numbers, ReadsAndAdvancesLikeScanf)
{
    const char* p = "  -12 x";
    int i = 0;
    EXPECT_TRUE(scanInt(p, i));
    EXPECT_EQ(-12, i);
    EXPECT_STREQ(" x", p);
    EXPECT_FALSE(scanInt(p, i));  // a failed read leaves the value and the position alone
    EXPECT_EQ(-12, i);
    EXPECT_STREQ(" x", p);

    const char* q = "\t1.5e2 -0.25";
    double a = 0, b = 0;
    EXPECT_TRUE(scanDouble(q, a) && scanDouble(q, b));
    EXPECT_EQ(150.0, a);
    EXPECT_EQ(-0.25, b);
}

TEST(Numbers, SignWithoutDigitsIsNoNumber)
{
    for (const char* text : {"-", "+x", "- 5", "--5", "", "xyz"}) {
        const char* p = text;
        int i = 7;
        EXPECT_FALSE(scanInt(p, i)) << text;
        EXPECT_FALSE(scanHex(p, i)) << text;
        EXPECT_EQ(7, i);
    }
}

TEST(Numbers, IntegersBeyondTheirRangeAreClamped)
{
    const char* big = "99999999999999999999999";
    const char* small = "-2147483649";
    int i = 0;
    EXPECT_TRUE(scanInt(big, i));
    EXPECT_EQ(INT_MAX, i);
    EXPECT_TRUE(scanInt(small, i));
    EXPECT_EQ(INT_MIN, i);
}

TEST(Numbers, HexHoldsThe32BitPattern)
{
    struct { const char* text; int value; } cases[] = {
        {"1f", 31}, {"1F", 31}, {"0x10", 16}, {"ffffffff", -1}, {"-1", -1}, {"-2", -2},
        {"100000000", -1}, {"123456789abcdef0123", -1},
    };
    for (auto c : cases) {
        const char* p = c.text;
        int i = 0;
        EXPECT_TRUE(scanHex(p, i)) << c.text;
        EXPECT_EQ(c.value, i) << c.text;
    }
}
