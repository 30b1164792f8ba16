// Writes text and numbers into the output command stream.
#include "output/stream.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "output/fixed.h"
#include "common/state.h"
#include "common/textfile.h"

void put(std::string_view text)
{
    writeText(fpw, text);
}

void putLine(std::string_view text)
{
    writeLine(fpw, text);
}

// The conversion is exact on every platform, so the twelfth decimal of a coordinate is the
// same whichever runtime library the tool is built with.
void putFixed(double value, int decimals)
{
    char digits[FIXED_ROOM];
    put(std::string_view(digits, writeFixed(digits, value, decimals) - digits));
}

void putInt(int value)
{
    char digits[16];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    put(std::string_view(digits, result.ptr - digits));
}

void putUnsigned(unsigned int value)
{
    char digits[16];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    put(std::string_view(digits, result.ptr - digits));
}

void putHex(int value)
{
    char digits[16];
    auto result = std::to_chars(digits, digits + sizeof digits, static_cast<std::uint32_t>(value), 16);
    put(std::string_view(digits, result.ptr - digits));
}
