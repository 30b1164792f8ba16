// Number conversions for records and switch values.
#include "exchange/numbers.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>

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
    char* end;
    double d = std::strtod(p, &end);
    if (end == p)
        return false;
    value = d;
    p = end;
    return true;
}
