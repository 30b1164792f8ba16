// Fixed-point text of a double, byte for byte as std::to_chars writes it, faster for the
// values the command stream holds.
#pragma once

// Room writeFixed needs: a sign, the largest double's 309 digits, the point, 19 decimals.
constexpr int FIXED_ROOM = 330;

// Writes `value` with `decimals` decimals (0 to 19), exactly rounded, half to even, as
// std::to_chars(..., std::chars_format::fixed, decimals) does; returns the end.
char* writeFixed(char* out, double value, int decimals);
