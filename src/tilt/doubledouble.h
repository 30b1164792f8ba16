// Double-double arithmetic: a value held as the unevaluated sum of two doubles, with about
// 106 bits, built from exact error-free sums and products of plain doubles.
#pragma once

// hi + lo with |lo| at most half an ulp of hi once normalised.
struct DoubleDouble {
    double hi, lo;
};

// a + b exactly, whatever their magnitudes (Knuth).
inline DoubleDouble twoSum(double a, double b)
{
    double s = a + b, bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// a + b exactly when |a| >= |b| or a is 0 (Dekker).
inline DoubleDouble fastTwoSum(double a, double b)
{
    double s = a + b;
    return {s, b - (s - a)};
}

// a * b exactly (Dekker, with Veltkamp's split into halves of 26 bits). No fused
// multiply-add: on targets without the instruction std::fma is a slow library call, and
// not every C library rounds it correctly. Exact unless the product overflows or underflows.
inline DoubleDouble twoProd(double a, double b)
{
    const double SPLIT = 134217729.0;  // 2^27 + 1
    double ca = SPLIT * a, cb = SPLIT * b;
    double ah = ca - (ca - a), al = a - ah, bh = cb - (cb - b), bl = b - bh;
    double p = a * b;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

inline DoubleDouble ddAdd(DoubleDouble a, DoubleDouble b)
{
    DoubleDouble s = twoSum(a.hi, b.hi), t = twoSum(a.lo, b.lo);
    s = fastTwoSum(s.hi, s.lo + t.hi);
    return fastTwoSum(s.hi, s.lo + t.lo);
}

inline DoubleDouble ddAddD(DoubleDouble a, double b)
{
    DoubleDouble s = twoSum(a.hi, b);
    return fastTwoSum(s.hi, s.lo + a.lo);
}

inline DoubleDouble ddNeg(DoubleDouble a)
{
    return {-a.hi, -a.lo};
}

inline DoubleDouble ddMul(DoubleDouble a, DoubleDouble b)
{
    DoubleDouble p = twoProd(a.hi, b.hi);
    return fastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

inline DoubleDouble ddMulD(DoubleDouble a, double b)
{
    DoubleDouble p = twoProd(a.hi, b);
    return fastTwoSum(p.hi, p.lo + a.lo * b);
}

// n / d for a normalised d: the correction is divided by d.hi alone.
inline DoubleDouble ddDiv(DoubleDouble n, DoubleDouble d)
{
    double q = n.hi / d.hi;
    DoubleDouble p = twoProd(q, d.hi);
    double r = (((n.hi - p.hi) - p.lo) + n.lo) - q * d.lo;
    return fastTwoSum(q, r / d.hi);
}
