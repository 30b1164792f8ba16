// Number conversions for records and switch values: short decimals by one exact division,
// longer ones through fast_float, everything else through the C library.
#include "exchange/numbers.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <fast_float/fast_float.h>

namespace {

const char* skipSpace(const char* p)
{
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

// The sign, if any, and whether a digit of the base follows it.
bool signedDigits(const char* p, bool hex, bool& negative, const char*& digits)
{
    negative = *p == '-';
    digits = (*p == '-' || *p == '+') ? p + 1 : p;
    unsigned char c = static_cast<unsigned char>(*digits);
    return hex ? std::isxdigit(c) : std::isdigit(c);
}

const char* skipBlanks(const char* p)
{
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))  // isspace in the "C" locale
        ++p;
    return p;
}

// The digit's value, or 10 or more for any other character.
unsigned digitAt(const char* p)
{
    return static_cast<unsigned>(static_cast<unsigned char>(*p)) - '0';
}

// The number at `p` when it is no more than an optional '-', digits and a point with more
// digits, 19 digits at most, whose digits as an integer m stay at or below 2^53: m and 10^k
// are then exact doubles, and the one division m / 10^k rounds the decimal value correctly,
// to the double strtod gives. Most coordinates look like this.
bool scanShortDecimal(const char*& p, double& value)
{
    static constexpr double POW10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10,
                                       1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
    const char* q = skipBlanks(p);
    bool negative = *q == '-';
    const char* first = q + negative;
    std::uint64_t m = 0;
    unsigned digit;
    for (q = first; (digit = digitAt(q)) < 10; ++q)
        m = m * 10 + digit;
    bool point = *q == '.';
    const char* fraction = q + point;
    for (q = fraction; (digit = digitAt(q)) < 10; ++q)
        m = m * 10 + digit;
    auto digits = q - first - point;
    if (digits == 0 || digits > 19 || m > (1ULL << 53) || *q == 'e' || *q == 'E' || *q == 'x' || *q == 'X')
        return false;
    // The sign multiplied in, not branched on: coordinates of both signs would mispredict
    // such a branch half the time. (-1.0 times 0.0 is -0.0, as strtod reads "-0".)
    static constexpr double SIGN[] = {1.0, -1.0};
    value = static_cast<double>(m) / POW10[q - fraction] * SIGN[negative];
    p = q;
    return true;
}

// fast_float reads a plain decimal number to the same double as strtod. It is given only
// what it reads the way strtod does: an optional '-', then a digit, or a point and a digit.
// A leading '+', "inf", "nan" and hexadecimal ("0x...") go to strtod.
bool scanPlainDecimal(const char*& p, double& value)
{
    const char* start = skipBlanks(p);
    const char* digits = start + (*start == '-');
    if (digitAt(digits) >= 10 && !(*digits == '.' && digitAt(digits + 1) < 10))
        return false;
    // The text ends only at its zero byte. fast_float is given a window of it; a number that
    // reaches to the window's end, or to an "e", "e+" or "e-" cut there, goes to strtod.
    const char* last = start + strnlen(start, 48);
    double d;
    auto result = fast_float::from_chars(start, last, d);
    if (result.ec != std::errc() || *result.ptr == 'x' || *result.ptr == 'X' || (*last && last - result.ptr <= 2))
        return false;
    value = d;
    p = result.ptr;
    return true;
}

// Everything scanShortDecimal does not take. Out of line, so that the short path stays light.
[[gnu::noinline]] bool scanOtherDouble(const char*& p, double& value)
{
    if (scanPlainDecimal(p, value))
        return true;
    char* end;
    double d = std::strtod(p, &end);
    if (end == p)
        return false;
    value = d;
    p = end;
    return true;
}

}  // namespace

bool scanInt(const char*& p, int& value)
{
    const char* start = skipSpace(p);
    bool negative;
    const char* digits;
    if (!signedDigits(start, false, negative, digits))
        return false;
    char* end;
    long long n = std::strtoll(start, &end, 10);  // clamps to the long long range itself
    value = n < INT_MIN ? INT_MIN : n > INT_MAX ? INT_MAX : static_cast<int>(n);
    p = end;
    return true;
}

bool scanHex(const char*& p, int& value)
{
    const char* start = skipSpace(p);
    bool negative;
    const char* digits;
    if (!signedDigits(start, true, negative, digits))
        return false;
    char* end;
    errno = 0;
    unsigned long long n = std::strtoull(digits, &end, 16);
    std::uint32_t bits;
    if (errno == ERANGE || n > 0xffffffffULL)
        bits = 0xffffffffU;
    else
        bits = negative ? 0U - static_cast<std::uint32_t>(n) : static_cast<std::uint32_t>(n);
    value = static_cast<int>(bits);
    p = end;
    return true;
}

bool scanDouble(const char*& p, double& value)
{
    return scanShortDecimal(p, value) || scanOtherDouble(p, value);
}
