// Reading numbers from record text as "%d", "%x" and "%lf" read them, without overflow.
#pragma once

// Each skips white space at `p`, reads one number, stores it and moves `p` past it.
// When no number stands there, it returns false and leaves `value` and `p` untouched.

// Decimal integer; a value beyond the int range is clamped to it.
bool scanInt(const char*& p, int& value);
// Hexadecimal integer, sign and "0x" allowed; beyond 32 bits it is clamped to 0xffffffff.
// The int holds the 32-bit pattern, so "ffffffff" and "-1" both give -1.
bool scanHex(const char*& p, int& value);
// A double, as strtod reads it.
bool scanDouble(const char*& p, double& value);
