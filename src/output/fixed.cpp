// Fixed-point conversion: for the 2, 6 and 12 decimals the tool writes, exact integer paths
// for every double below 2^64; std::to_chars for the rest.
#include "output/fixed.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// The rare value beyond the integer paths, with `decimals` decimals, exactly. The WebAssembly
// build's C++ library has no std::to_chars for doubles; its C library's printf is exact.
char* putExact(char* out, double value, int decimals)
{
#ifdef __EMSCRIPTEN__
    char text[FIXED_ROOM + 1];
    int length = std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::memcpy(out, text, static_cast<std::size_t>(length));
    return out + length;
#else
    return std::to_chars(out, out + FIXED_ROOM, value, std::chars_format::fixed, decimals).ptr;
#endif
}

using u128 = unsigned __int128;

constexpr std::uint64_t POW10[20] = {
    1ULL, 10ULL, 100ULL, 1000ULL, 10000ULL, 100000ULL, 1000000ULL, 10000000ULL, 100000000ULL,
    1000000000ULL, 10000000000ULL, 100000000000ULL, 1000000000000ULL, 10000000000000ULL,
    100000000000000ULL, 1000000000000000ULL, 10000000000000000ULL, 100000000000000000ULL,
    1000000000000000000ULL, 10000000000000000000ULL};

constexpr char PAIRS[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// `n` below 10^6 as six digits: n / 10^4 in 48-bit fixed point, whose fraction then yields
// two digits for each multiplication by 100 (exact for every such n: the error stays below
// 10^-8 of a unit).
[[gnu::always_inline]] inline void putSix(char* out, std::uint32_t n)
{
    constexpr std::uint64_t MASK = (1ULL << 48) - 1;
    std::uint64_t y = n * 28147497672ULL;  // ceil(2^48 / 10^4)
    std::memcpy(out, PAIRS + 2 * (y >> 48), 2);
    y = (y & MASK) * 100;
    std::memcpy(out + 2, PAIRS + 2 * (y >> 48), 2);
    y = (y & MASK) * 100;
    std::memcpy(out + 4, PAIRS + 2 * (y >> 48), 2);
}

// `n` as exactly `width` digits, zeros in front.
[[gnu::always_inline]] inline char* putDigits(char* out, std::uint64_t n, int width)
{
    char* p = out + width;
    for (; p - out >= 6; p -= 6, n /= 1000000)
        putSix(p - 6, static_cast<std::uint32_t>(n % 1000000));
    auto rest = static_cast<std::uint32_t>(n);  // below 10^6 now, or the width was too small
    for (; p - out >= 2; p -= 2, rest /= 100)
        std::memcpy(p - 2, PAIRS + 2 * (rest % 100), 2);
    if (p > out)
        *out = static_cast<char>('0' + rest % 10);
    return out + width;
}

int digitCount(std::uint64_t n)
{
    n |= 1;  // the same number of digits, and no zero for clz
    int guess = (64 - __builtin_clzll(n)) * 1233 >> 12;  // log10(2) is about 1233 / 4096
    return guess - (n < POW10[guess]) + 1;
}

// `n` without zeros in front. Below 10^6, the common case, as six digits of which the last
// ones are copied 8 bytes at once: the bytes beyond them are the room of what follows.
[[gnu::always_inline]] inline char* putWhole(char* out, std::uint64_t n)
{
    int count = digitCount(n);
    if (n >= 1000000)
        return putDigits(out, n, count);
    char six[16];
    putSix(six + 2, static_cast<std::uint32_t>(n));
    std::memcpy(out, six + 8 - count, 8);
    return out + count;
}

// The magnitude of `bits` times 10^DECIMALS, rounded half to even, as whole and fraction.
// A double is m * 2^e exactly, so this is one 128-bit product and a shift. False for
// infinities, NaN and magnitudes of 2^64 and more.
template <int DECIMALS>
bool exactDigits(std::uint64_t bits, std::uint64_t& whole, std::uint64_t& fraction)
{
    int biased = static_cast<int>(bits >> 52 & 0x7ff);
    std::uint64_t m = bits & ((1ULL << 52) - 1);
    if (biased == 0x7ff)
        return false;
    int e = biased == 0 ? -1074 : biased - 1075;
    if (biased != 0)
        m |= 1ULL << 52;
    fraction = 0;
    if (e >= 0) {
        if (e > 11)
            return false;
        whole = m << e;
        return true;
    }
    int s = -e;
    std::uint64_t f = m;
    whole = 0;
    if (s < 64) {
        whole = m >> s;
        f = m & ((1ULL << s) - 1);
    }
    // f < 2^53 and 10^DECIMALS < 2^64, so the product stays below 2^117: from a shift of 118
    // on, it lies below one half and rounds to zero.
    if (s >= 118)
        return true;
    u128 product = static_cast<u128>(f) * POW10[DECIMALS];
    // Half to even: adding one half less the least unit, plus the unit when the digit
    // below is odd, carries exactly the values above the half, and the half when odd.
    u128 truncated = product >> s;
    bool odd = DECIMALS ? (truncated & 1) != 0 : (whole & 1) != 0;
    u128 q = (product + ((static_cast<u128>(1) << (s - 1)) - 1 + odd)) >> s;
    if (q == POW10[DECIMALS]) {
        ++whole;  // below 2^53 here: no overflow
        q = 0;
    }
    fraction = static_cast<std::uint64_t>(q);
    return true;
}

// The common case, a magnitude from 2^-5 to 2^52 with a fraction of s bits: the fraction
// times 100 still fits 64 bits, so each multiplication by 100 brings out the next two
// decimals and leaves the rest, which then decides the rounding. Null, with `out` written
// over in vain, for other values and where the rounding would carry into the whole part.
template <int DECIMALS>
char* shortFixed(char* out, std::uint64_t bits)
{
    static_assert(DECIMALS % 2 == 0, "decimals come in pairs");
    int s = 1075 - static_cast<int>(bits >> 52 & 0x7ff);
    if (s < 1 || s > 57)
        return nullptr;
    std::uint64_t m = (bits & ((1ULL << 52) - 1)) | 1ULL << 52, mask = (1ULL << s) - 1;
    std::uint64_t f = m & mask;
    // The sign without a branch, which would fail half the time on coordinates of both signs.
    *out = '-';
    out += bits >> 63;
    if (DECIMALS == 12 && s <= 44) {
        // Six decimals at a time while the fraction times 10^6 fits, rounded before they
        // are written, again without a branch, and written independently of each other.
        f *= 1000000;
        auto high = static_cast<std::uint32_t>(f >> s);
        f = (f & mask) * 1000000;
        auto low = static_cast<std::uint32_t>(f >> s);
        f &= mask;
        std::uint64_t half = 1ULL << (s - 1);
        low += static_cast<std::uint32_t>((f > half) | ((f == half) & low));
        if (low == 1000000) {
            low = 0;
            if (++high == 1000000)
                return nullptr;  // the whole part changes
        }
        out = putWhole(out, m >> s);
        *out++ = '.';
        putSix(out, high);
        putSix(out + 6, low);
        return out + 12;
    }
    out = putWhole(out, m >> s);
    *out++ = '.';
    std::uint64_t last = 0;  // the last decimal, whose parity settles a tie
#pragma GCC unroll 6
    for (int i = 0; i < DECIMALS / 2; ++i, out += 2) {
        f *= 100;
        last = f >> s;
        f &= mask;
        std::memcpy(out, PAIRS + 2 * last, 2);
    }
    std::uint64_t half = 1ULL << (s - 1);
    if (f < half || (f == half && (last & 1) == 0))
        return out;
    char* p = out;
    while (*--p == '9')
        *p = '0';
    if (*p == '.')
        return nullptr;
    ++*p;
    return out;
}

// Every value shortFixed does not take. Out of line, so that the common path stays light.
template <int DECIMALS>
[[gnu::noinline]] char* otherFixed(char* out, double value, std::uint64_t bits)
{
    std::uint64_t whole, fraction;
    if (!exactDigits<DECIMALS>(bits & ~(1ULL << 63), whole, fraction))
        return putExact(out, value, DECIMALS);
    if (bits >> 63)
        *out++ = '-';  // -0.0 and negatives that round to zero keep their sign, as to_chars does
    out = putWhole(out, whole);
    if (DECIMALS == 0)
        return out;
    *out++ = '.';
    if (DECIMALS == 12) {
        std::uint64_t high = fraction / 1000000;
        putSix(out, static_cast<std::uint32_t>(high));
        putSix(out + 6, static_cast<std::uint32_t>(fraction - high * 1000000));
        return out + 12;
    }
    return putDigits(out, fraction, DECIMALS);
}

template <int DECIMALS>
char* fixed(char* out, double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    if (char* end = shortFixed<DECIMALS>(out, bits))
        return end;
    return otherFixed<DECIMALS>(out, value, bits);
}

}  // namespace

char* writeFixed(char* out, double value, int decimals)
{
    switch (decimals) {
    case 2:
        return fixed<2>(out, value);
    case 6:
        return fixed<6>(out, value);
    case 12:
        return fixed<12>(out, value);
    default:
        return putExact(out, value, decimals);
    }
}
