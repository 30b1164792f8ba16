// The slow path of the correctly rounded trigonometry: the same functions in binary fixed
// point of 256 and then 512 bits, each result with a proven bound on its error.
//
// A number is an array of 64-bit limbs, the integer part (two's complement) first, then the
// fraction, most significant first. Every operation truncates, so each costs at most one
// unit of the last limb (an ulp here). A result R with error bound E is rounded as R - E
// and R + E; when both give the same double, so does the exact value, which lies strictly
// between them (sin, cos and atan of a nonzero double are transcendental, never a double
// nor a midpoint between two). Otherwise the wider precision decides. Should that fail too,
// its result is returned: no argument is known to need it. Counting arguments put the
// hardest case of sin and cos (2^64 arguments) near 53 + 64 bits and that of atan2 (2^128
// pairs) near 53 + 128, well within the second precision's 440.
#include "tilt/trig_exact.h"

#include <cmath>
#include <cstdint>

namespace {

typedef unsigned __int128 Wide;

const int LIMBS_MAX = 9;            // the constants carry one limb more than the widest level
const int LEVELS[] = {4, 8};        // limbs of the two precisions
const uint64_t ERROR_ULPS = 1 << 12; // bound on the ulps a result may be off, with room to spare

struct Fixed {
    uint64_t w[LIMBS_MAX];
};

bool isZero(const Fixed& a, int n)
{
    for (int i = 0; i < n; ++i)
        if (a.w[i])
            return false;
    return true;
}

bool isNegative(const Fixed& a)
{
    return a.w[0] >> 63;
}

Fixed fromInt(uint64_t v)
{
    Fixed a{};
    a.w[0] = v;
    return a;
}

void add(Fixed& a, const Fixed& b, int n)
{
    Wide carry = 0;
    for (int i = n - 1; i >= 0; --i) {
        Wide s = static_cast<Wide>(a.w[i]) + b.w[i] + carry;
        a.w[i] = static_cast<uint64_t>(s);
        carry = s >> 64;
    }
}

void sub(Fixed& a, const Fixed& b, int n)
{
    uint64_t borrow = 0;
    for (int i = n - 1; i >= 0; --i) {
        Wide d = static_cast<Wide>(a.w[i]) - b.w[i] - borrow;
        a.w[i] = static_cast<uint64_t>(d);
        borrow = (d >> 64) != 0;
    }
}

void negate(Fixed& a, int n)
{
    for (int i = 0; i < n; ++i)
        a.w[i] = ~a.w[i];
    Fixed one{};
    one.w[n - 1] = 1;
    add(a, one, n);
}

// a * b for a, b >= 0 whose product is below 2^63.
Fixed mul(const Fixed& a, const Fixed& b, int n)
{
    uint64_t low[2 * LIMBS_MAX] = {};  // the full product, least significant limb first
    for (int i = 0; i < n; ++i) {
        uint64_t carry = 0, ai = a.w[n - 1 - i];
        for (int j = 0; j < n; ++j) {
            Wide t = static_cast<Wide>(ai) * b.w[n - 1 - j] + low[i + j] + carry;
            low[i + j] = static_cast<uint64_t>(t);
            carry = static_cast<uint64_t>(t >> 64);
        }
        low[i + n] = carry;
    }
    Fixed c{};
    for (int m = 0; m < n; ++m)
        c.w[n - 1 - m] = low[n - 1 + m];
    return c;
}

// a * b for signed a, b.
Fixed mulSigned(Fixed a, Fixed b, int n)
{
    bool negative = isNegative(a) != isNegative(b);
    if (isNegative(a))
        negate(a, n);
    if (isNegative(b))
        negate(b, n);
    Fixed c = mul(a, b, n);
    if (negative)
        negate(c, n);
    return c;
}

// a / d for a >= 0.
void divSmall(Fixed& a, uint64_t d, int n)
{
    Wide rem = 0;
    for (int i = 0; i < n; ++i) {
        Wide cur = rem << 64 | a.w[i];
        a.w[i] = static_cast<uint64_t>(cur / d);
        rem = cur % d;
    }
}

void mulSmall(Fixed& a, uint64_t m, int n)
{
    Wide carry = 0;
    for (int i = n - 1; i >= 0; --i) {
        Wide t = static_cast<Wide>(a.w[i]) * m + carry;
        a.w[i] = static_cast<uint64_t>(t);
        carry = t >> 64;
    }
}

// The limb of weight 2^(64 m) in the number read as an integer of n limbs, or 0 outside it.
uint64_t limbAt(const Fixed& a, int n, int m)
{
    return m >= 0 && m < n ? a.w[n - 1 - m] : 0;
}

// Bits pos .. pos+63 of the number read as an integer.
uint64_t bitsAt(const Fixed& a, int n, int pos)
{
    int m = pos >> 6, off = pos & 63;
    uint64_t v = limbAt(a, n, m) >> off;
    if (off)
        v |= limbAt(a, n, m + 1) << (64 - off);
    return v;
}

// Whether any bit below `pos` is set.
bool anyBelow(const Fixed& a, int n, int pos)
{
    int m = pos >> 6, off = pos & 63;
    for (int i = 0; i < m && i < n; ++i)
        if (limbAt(a, n, i))
            return true;
    return off && (limbAt(a, n, m) << (64 - off)) != 0;
}

// Adds v * 2^pos to the number read as an integer; bits below 2^0 are dropped.
void addBitsAt(Fixed& a, int n, uint64_t v, int pos)
{
    if (pos < 0) {
        v = pos > -64 ? v >> -pos : 0;
        pos = 0;
    }
    Fixed b{};
    int m = pos >> 6, off = pos & 63;
    if (m < n)
        b.w[n - 1 - m] = v << off;
    if (off && m + 1 < n)
        b.w[n - 2 - m] = v >> (64 - off);
    add(a, b, n);
}

// d exactly, for 0 <= d < 2^63 with no bit below the last limb.
Fixed fromDouble(double d, int n)
{
    int e;
    double m = std::frexp(d, &e);
    Fixed a{};
    if (d != 0)
        addBitsAt(a, n, static_cast<uint64_t>(std::ldexp(m, 53)), e - 53 + 64 * (n - 1));
    return a;
}

// a * 2^e, a >= 0, rounded to the nearest double; a tie goes up or down as `tiesUp` says.
// Subnormal results are rounded as such.
double toDouble(const Fixed& a, int n, int e, bool tiesUp)
{
    int top = -1;  // the highest set bit of the integer
    for (int m = n - 1; m >= 0 && top < 0; --m)
        if (uint64_t limb = limbAt(a, n, m))
            top = 64 * m + 63 - __builtin_clzll(limb);
    if (top < 0)
        return 0;
    int scale = e - 64 * (n - 1);  // the integer's unit is 2^scale
    int quantum = top + scale - 52 > -1074 ? top + scale - 52 : -1074;
    int pos = quantum - scale;  // the bit of the integer that becomes the last of the double
    if (pos <= 0)
        return std::ldexp(static_cast<double>(bitsAt(a, n, 0) << -pos), quantum);
    uint64_t mantissa = bitsAt(a, n, pos) & ((uint64_t(1) << 53) - 1);
    if ((bitsAt(a, n, pos - 1) & 1) && (tiesUp || anyBelow(a, n, pos - 1)))
        ++mantissa;
    return std::ldexp(static_cast<double>(mantissa), quantum);
}

// Rounds r - E and r + E for r >= 0, or `upper` for the second when it is nearer; true with
// the double when both agree.
bool roundedWithin(const Fixed& r, int n, int e, double* result, const Fixed* upper = nullptr)
{
    Fixed lo = r, hi = r, err{};
    err.w[n - 1] = ERROR_ULPS;
    sub(lo, err, n);
    add(hi, err, n);
    if (upper) {
        Fixed gap = hi;
        sub(gap, *upper, n);
        if (!isNegative(gap))
            hi = *upper;
    }
    if (isNegative(lo))
        return false;
    double down = toDouble(lo, n, e, true), up = toDouble(hi, n, e, false);
    *result = up;
    return down == up;
}

// arctan(1 / m) by its series, for m > 1.
Fixed atanInverse(uint64_t m, int n)
{
    Fixed power = fromInt(1), sum{};
    divSmall(power, m, n);
    for (uint64_t k = 0; !isZero(power, n); ++k) {
        Fixed term = power;
        divSmall(term, 2 * k + 1, n);
        if (k & 1)
            sub(sum, term, n);
        else
            add(sum, term, n);
        divSmall(power, m * m, n);
    }
    return sum;
}

// pi / 2 to the widest precision and one limb more, from Machin's formula.
const Fixed& halfPi()
{
    static const Fixed value = [] {
        Fixed quarter = atanInverse(5, LIMBS_MAX);
        mulSmall(quarter, 4, LIMBS_MAX);
        sub(quarter, atanInverse(239, LIMBS_MAX), LIMBS_MAX);
        mulSmall(quarter, 2, LIMBS_MAX);
        return quarter;
    }();
    return value;
}

// sin(r) and cos(r) for 0 <= r <= 1 by their Taylor series; each within 200 ulps.
void sinCosSeries(const Fixed& r, int n, Fixed* sine, Fixed* cosine)
{
    Fixed r2 = mul(r, r, n);
    Fixed term = r;
    *sine = r;
    for (uint64_t k = 1; !isZero(term, n); ++k) {
        term = mul(term, r2, n);
        divSmall(term, (2 * k) * (2 * k + 1), n);
        if (k & 1)
            sub(*sine, term, n);
        else
            add(*sine, term, n);
    }
    term = fromInt(1);
    *cosine = term;
    for (uint64_t k = 1; !isZero(term, n); ++k) {
        term = mul(term, r2, n);
        divSmall(term, (2 * k - 1) * (2 * k), n);
        if (k & 1)
            sub(*cosine, term, n);
        else
            add(*cosine, term, n);
    }
}

// The first n limbs of a constant: below it by less than an ulp.
Fixed truncated(const Fixed& c, int n)
{
    Fixed a{};
    for (int i = 0; i < n; ++i)
        a.w[i] = c.w[i];
    return a;
}

}  // namespace

void exactSinCos(double x, double* sine, double* cosine)
{
    double ax = std::fabs(x);
    uint64_t k = static_cast<uint64_t>(std::floor(ax * 0.63661977236758134 + 0.5));
    bool sineDone = false, cosineDone = false;
    for (int n : LEVELS) {
        // x = k pi/2 + r: sin x and cos x are sin r and cos r, exchanged and negated by quadrant.
        Fixed r = fromDouble(ax, n), multiple = truncated(halfPi(), n);
        mulSmall(multiple, k, n);
        sub(r, multiple, n);
        bool rNegative = isNegative(r);
        if (rNegative)
            negate(r, n);
        Fixed s, c;
        sinCosSeries(r, n, &s, &c);
        unsigned quadrant = k & 3;
        bool sinNegative = (quadrant >= 2) != (rNegative && !(quadrant & 1));
        bool cosNegative = (quadrant == 1 || quadrant == 2) != (rNegative && (quadrant & 1));
        const Fixed& sinPart = quadrant & 1 ? c : s;
        const Fixed& cosPart = quadrant & 1 ? s : c;
        double v;
        if (!sineDone && (roundedWithin(sinPart, n, 0, &v) || n == LEVELS[1])) {
            *sine = (sinNegative != (x < 0)) ? -v : v;
            sineDone = true;
        }
        if (!cosineDone && (roundedWithin(cosPart, n, 0, &v) || n == LEVELS[1])) {
            *cosine = cosNegative ? -v : v;
            cosineDone = true;
        }
        if (sineDone && cosineDone)
            return;
    }
}

double exactAtan2(double y, double x, double guess)
{
    double ay = std::fabs(y), ax = std::fabs(x);
    bool swapped = ay > ax;
    double num = swapped ? ax : ay, den = swapped ? ay : ax;
    // num / den = N / D * 2^shift, with N and D integers of 53 bits.
    int en, ed;
    uint64_t numBits = static_cast<uint64_t>(std::ldexp(std::frexp(num, &en), 53));
    uint64_t denBits = static_cast<uint64_t>(std::ldexp(std::frexp(den, &ed), 53));
    int shift = en - ed;  // <= 0, as num <= den
    bool small = shift < -40 && !swapped && x > 0;
    double result = 0;
    for (int n : LEVELS) {
        Fixed quotient = fromInt(numBits / denBits);  // N / D, in (1/2, 2)
        Wide rem = numBits % denBits;
        for (int i = 1; i < n; ++i) {
            Wide cur = rem << 64;
            quotient.w[i] = static_cast<uint64_t>(cur / denBits);
            rem = cur % denBits;
        }
        // arctan z < z: the quotient bounds the result from above, and as an exclusive bound
        // when exact. This decides a subnormal z that is a midpoint itself.
        Fixed above = quotient, ulp{};
        ulp.w[n - 1] = rem != 0;
        add(above, ulp, n);
        Fixed theta;
        int scale = 0;
        if (small) {
            // atan z = z (1 - z^2/3 + z^4/5 - ...), kept relative to z: the result may be tiny.
            Fixed z2 = mul(quotient, quotient, n), factor = fromInt(1), term{};
            int drop = -2 * shift;
            term = z2;
            if (drop >= 64 * n)
                term = Fixed{};
            else
                for (; drop > 0; drop -= 63) {
                    int d = drop < 63 ? drop : 63;
                    divSmall(term, uint64_t(1) << d, n);
                }
            Fixed power = term;
            for (uint64_t k = 1; !isZero(power, n); ++k) {
                Fixed t = power;
                divSmall(t, 2 * k + 1, n);
                if (k & 1)
                    sub(factor, t, n);
                else
                    add(factor, t, n);
                power = mul(power, term, n);
            }
            theta = mul(quotient, factor, n);
            scale = shift;
        } else {
            // z = num / den; with t the guess, atan z = t + atan((z cos t - sin t) / (cos t + z sin t)).
            Fixed z = quotient;
            for (int drop = -shift; drop > 0; drop -= 63)
                divSmall(z, uint64_t(1) << (drop < 63 ? drop : 63), n);
            Fixed t = fromDouble(guess, n), s, c;
            sinCosSeries(t, n, &s, &c);
            Fixed top = mul(z, c, n), bottom = mul(z, s, n);
            sub(top, s, n);
            add(bottom, c, n);
            // 1 / bottom by Newton's iteration from a double's reciprocal; each step doubles the bits.
            double approx = std::ldexp(static_cast<double>(bottom.w[1] >> 11), -53) + static_cast<double>(bottom.w[0]);
            Fixed inverse = fromDouble(1 / approx, n);
            for (int i = 0; i < (n == LEVELS[0] ? 3 : 4); ++i) {
                Fixed e = fromInt(1);
                sub(e, mul(bottom, inverse, n), n);
                add(inverse, mulSigned(inverse, e, n), n);
            }
            Fixed w = mulSigned(top, inverse, n);
            bool wNegative = isNegative(w);
            if (wNegative)
                negate(w, n);
            Fixed w2 = mul(w, w, n), power = w, atanW = w;
            for (uint64_t k = 1; !isZero(power, n); ++k) {
                power = mul(power, w2, n);
                Fixed p = power;
                divSmall(p, 2 * k + 1, n);
                if (k & 1)
                    sub(atanW, p, n);
                else
                    add(atanW, p, n);
            }
            theta = t;
            if (wNegative)
                sub(theta, atanW, n);
            else
                add(theta, atanW, n);
            if (swapped) {
                Fixed turned = truncated(halfPi(), n);
                sub(turned, theta, n);
                theta = turned;
            }
            if (x < 0) {
                Fixed turned = truncated(halfPi(), n);
                mulSmall(turned, 2, n);
                sub(turned, theta, n);
                theta = turned;
            }
        }
        if (roundedWithin(theta, n, scale, &result, small ? &above : nullptr))
            break;
    }
    return y < 0 ? -result : result;
}
