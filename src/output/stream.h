// The pieces every record of the output command stream is written with, all through `fpw`.
#pragma once

#include <string_view>

// Text as it stands, every line feed stored as CR LF.
void put(std::string_view text);
// put(text), then a line end.
void putLine(std::string_view text);
// Fixed-point with `decimals` decimals, exactly rounded, as "%.Nf" writes it.
void putFixed(double value, int decimals);
// Signed decimal, as "%d".
void putInt(int value);
// Unsigned decimal, as "%u".
void putUnsigned(unsigned int value);
// The int's 32-bit pattern in lower-case hexadecimal, as "%x".
void putHex(int value);
