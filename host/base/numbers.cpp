// Strict decimal reading and shortest round-trip writing of doubles.
#include "base/numbers.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#ifdef __EMSCRIPTEN__
#define FMT_HEADER_ONLY
#include <fast_float/fast_float.h>
#include <fmt/format.h>
#endif

namespace {

const double powers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Most coordinates are short decimals: the integer m over 10^k for the least k at which that
// quotient is the value. With m below 2^50 and k up to 15 both are exact doubles and the
// quotient is rounded as reading the decimal rounds it, and no shorter decimal reads back as
// the value. Written as to_chars writes it; false, writing nothing, where to_chars would
// choose the scientific form or the value is no such decimal.
bool appendShortDecimal(std::string& out, double value)
{
    const double limit = 1125899906842624.0;  // 2^50
    double magnitude = std::fabs(value);
    if (!(magnitude > 0 && magnitude < limit))
        return false;
    for (int k = 0; k < 16; ++k) {
        // Rounded to the nearest integer, ties to even, as nearbyint rounds but without a call:
        // below 2^52 adding 2^52 leaves no fraction. Larger products fail the limit either way.
        const double shift = 4503599627370496.0;  // 2^52
        double m = (magnitude * powers[k] + shift) - shift;
        if (m >= limit)
            return false;
        if (m / powers[k] != magnitude)
            continue;
        char digits[24];
        int length = static_cast<int>(std::to_chars(digits, digits + sizeof digits, static_cast<long long>(m)).ptr - digits);
        int significant = length;
        while (significant > 1 && digits[significant - 1] == '0')
            --significant;
        int exponent = std::abs(length - 1 - k);
        int fixedLength = k == 0 ? length : length > k ? length + 1 : k + 2;
        int scientificLength = significant + (significant > 1) + 2 + (exponent >= 100 ? 3 : 2);
        if (scientificLength < fixedLength)
            return false;
        // Composed here and appended once: a line record holds four of them.
        char text[40];
        char* end = text;
        if (value < 0)
            *end++ = '-';
        if (k == 0) {
            end = std::copy(digits, digits + length, end);
        } else if (length > k) {
            end = std::copy(digits, digits + length - k, end);
            *end++ = '.';
            end = std::copy(digits + length - k, digits + length, end);
        } else {
            *end++ = '0', *end++ = '.';
            end = std::fill_n(end, k - length, '0');
            end = std::copy(digits, digits + length, end);
        }
        out.append(text, static_cast<std::size_t>(end - text));  // not the pair of iterators: it goes by replace
        return true;
    }
    return false;
}

#ifdef __EMSCRIPTEN__
// The WebAssembly build's C++ library has no from_chars and to_chars for doubles: fast_float
// reads them, exactly and as quickly as natively, and {fmt} finds the shortest digits.
struct Read {
    const char* ptr;
    std::errc ec;
};

Read readDouble(const char* first, const char* last, double& value)
{
    auto [end, error] = fast_float::from_chars(first, last, value);
    return {end, error};
}

// The shortest digits that read back as `value`, {fmt}'s, written fixed or scientific,
// whichever is shorter (fixed on a tie), as std::to_chars writes them: into `out`, 32 bytes
// at least; returns the length. Composed in place: in a drawing of full coordinates nearly
// every number comes here.
std::size_t writeShortest(double value, char* out)
{
    char* at = out;
    if (std::signbit(value))
        *at++ = '-';
    if (!std::isfinite(value) || value == 0) {
        const char* word = std::isnan(value) ? "nan" : std::isinf(value) ? "inf" : "0";
        std::size_t size = std::strlen(word);
        std::memcpy(at, word, size);
        return static_cast<std::size_t>(at + size - out);
    }
    auto decimal = fmt::detail::dragonbox::to_decimal(std::fabs(value));
    std::uint64_t significand = decimal.significand;
    int exponent = decimal.exponent;
    while (significand % 10 == 0)
        significand /= 10, ++exponent;
    char figures[24];
    int count = static_cast<int>(std::to_chars(figures, figures + sizeof figures, significand).ptr - figures);
    int first = exponent + count - 1;  // the power of ten of the first figure
    int before = first + 1;            // the figures before the decimal point, written fixed
    int fixedLength = before <= 0 ? 2 - before + count : before >= count ? before : count + 1;
    int scientificLength = count + (count > 1) + 2 + (std::abs(first) >= 100 ? 3 : 2);
    if (fixedLength <= scientificLength) {
        if (before <= 0) {
            *at++ = '0', *at++ = '.';
            at = std::fill_n(at, -before, '0');
            at = std::copy(figures, figures + count, at);
        } else if (before >= count) {
            // An integer, which to_chars writes exactly, not as its shortest figures and zeros.
            double whole = std::fabs(value), high = std::floor(whole / 18446744073709551616.0);
            unsigned __int128 n = static_cast<unsigned __int128>(static_cast<std::uint64_t>(high)) << 64 |
                                  static_cast<std::uint64_t>(whole - high * 18446744073709551616.0);
            char digits[48];
            char* end = digits + sizeof digits;
            char* start = end;
            do
                *--start = static_cast<char>('0' + static_cast<int>(n % 10));
            while ((n /= 10) != 0);
            at = std::copy(start, end, at);
        } else {
            at = std::copy(figures, figures + before, at);
            *at++ = '.';
            at = std::copy(figures + before, figures + count, at);
        }
    } else {
        *at++ = figures[0];
        if (count > 1) {
            *at++ = '.';
            at = std::copy(figures + 1, figures + count, at);
        }
        *at++ = 'e';
        *at++ = first < 0 ? '-' : '+';
        if (std::abs(first) < 10)
            *at++ = '0';
        at = std::to_chars(at, at + 4, std::abs(first)).ptr;
    }
    return static_cast<std::size_t>(at - out);
}
#endif

}  // namespace

bool parseNumber(std::string_view text, double& value)
{
    // The C locale's white space, without a call into the locale for each character.
    auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    bool plus = !text.empty() && text.front() == '+';
    if (plus)
        text.remove_prefix(1);  // from_chars takes no plus sign
    if (plus && !text.empty() && text.front() == '-')
        return false;
    // The grammar first: from_chars alone would take "inf", "nan" and a bare exponent.
    // The digits are gathered on the way into m, the fraction's trailing zeros left out,
    // for the decimals that need no from_chars.
    std::size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0, digits = 0, kept = 0, decimals = 0;
    std::uint64_t m = 0;
    for (; i < text.size() && isDigit(text[i]); ++i, ++digits, ++kept)
        m = m * 10 + static_cast<unsigned>(text[i] - '0');
    if (i < text.size() && text[i] == '.') {
        std::size_t start = ++i;
        for (; i < text.size() && isDigit(text[i]); ++i)
            ++digits;
        std::size_t stop = i;
        while (stop > start && text[stop - 1] == '0')
            --stop;
        for (std::size_t j = start; j < stop; ++j)
            m = m * 10 + static_cast<unsigned>(text[j] - '0');
        decimals = stop - start;
        kept += decimals;
    }
    if (digits == 0)
        return false;
    // m below 2^53 and 10^decimals are exact doubles: their quotient is rounded once, as
    // reading the decimal rounds it. More than 19 digits may have wrapped m.
    if (i == text.size() && kept <= 19 && m < (std::uint64_t(1) << 53) && decimals <= 15) {
        double v = static_cast<double>(m) / powers[decimals];
        value = text[0] == '-' ? -v : v;
        return true;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        std::size_t start = i;
        for (; i < text.size() && isDigit(text[i]); ++i) {
        }
        if (i == start)
            return false;
    }
    if (i != text.size())
        return false;
    double v = 0;
#ifdef __EMSCRIPTEN__
    auto [end, error] = readDouble(text.data(), text.data() + text.size(), v);
#else
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
#endif
    if (error == std::errc::result_out_of_range) {
        // Too small for a double is read as strtod reads it, 0 or the nearest subnormal;
        // too large stays refused as not finite. The grammar is checked: strtod takes it whole.
        v = std::strtod(std::string(text).c_str(), nullptr);
        error = std::errc(), end = text.data() + text.size();
    }
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

std::string shortest(double value)
{
    std::string text;
    appendShortest(text, value);
    return text;
}

void appendShortest(std::string& out, double value)
{
    if (appendShortDecimal(out, value))
        return;
#ifdef __EMSCRIPTEN__
    char text[32];
    out.append(text, writeShortest(value, text));
#else
    char buffer[32];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (error == std::errc())
        out.append(buffer, end);
#endif
}
