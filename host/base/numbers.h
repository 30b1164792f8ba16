// Numbers as the host reads them from drawings and the tool's answers, and writes them for the tool.
#pragma once

#include <string>
#include <string_view>

// A decimal number (sign, digits, point, exponent) filling `text` but for blanks around it,
// finite as a double; false for anything else, "inf", "nan" and hexadecimal forms included.
bool parseNumber(std::string_view text, double& value);

// The shortest decimal text that reads back as exactly `value`.
std::string shortest(double value);
// The same appended to `out`.
void appendShortest(std::string& out, double value);
