// Command-line switches: each letter sets one setting of the run state, held to its range.
#include "run/opt.h"

#include <cctype>
#include <cstdio>

#include "exchange/numbers.h"
#include "common/state.h"

namespace {

// A value text that holds no number reads as 0.
int intValue(const char* text)
{
    int value = 0;
    scanInt(text, value);
    return value;
}

double doubleValue(const char* text)
{
    double value = 0.0;
    scanDouble(text, value);
    return value;
}

// The settings that take a new value only when it differs and lies in their range.
void takeInRange(int& setting, const char* text, int lowest, int highest)
{
    if (*text == '\0')
        return;
    int value = intValue(text);
    if (value != setting && value >= lowest && value <= highest)
        setting = value;
}

// Sets what `letter` sets; false for a letter that is not a switch.
bool apply(char letter, const char* text)
{
    switch (letter) {
    case 'a':
        if (*text != '\0') {
            double value = doubleValue(text);
            if (value != Amp && value >= 0.5)
                Amp = value;
        }
        return true;
    case 'b': takeInRange(iBOKE, text, 1, 6); return true;
    case 'c': takeInRange(iGRAY, text, 0, 5); return true;
    case 'd': takeInRange(iDivN, text, 1, 500); return true;
    case 'g': takeInRange(iPEN1, text, 0, 10); return true;
    case 'h': takeInRange(iPEN2, text, 0, 10); return true;
    case 'n': takeInRange(isNUM, text, 0, 1); return true;
    case 'o': takeInRange(iOFFSET, text, 0, 5); return true;
    case 'e': {
        int value = *text != '\0' ? intValue(text) : 0;
        exiro = value / 10;
        exsyu = value - 10 * exiro;
        return true;
    }
    case 'm': {
        int value = intValue(text);
        iMode = value < 1 ? 1 : value;
        return true;
    }
    case 'p':
        if (*text != '\0') {
            double value = doubleValue(text);
            if (value < 360.0 && value > -360.0)  // a NaN passes neither
                ANGLE = value;
        }
        return true;
    case 's': isSunpo = 1; return true;
    case 't':
        isTest = (*text >= '1' && *text <= '6') ? *text - '0' : 0;
        return true;
    case 'u': return true;
    case 'w':
        if (*text != '\0') {
            int value = intValue(text);
            iMOJI_w = value > 30 ? 30 : value;
        }
        return true;
    default:
        return false;
    }
}

}  // namespace

void opt(char* argument)
{
    const char* from = argument + 1;  // the letter, or the end of a bare "-" or "/"
    char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(*from)));
    const char* text = *from != '\0' ? from + 1 : from;
    bool known = *from != '\0' && apply(letter, text);
    if (!known)
        std::fputs("\n illegal Option.\n", stderr);
    if (isTest > 2) {
        bool valued = known && letter != 's' && letter != 'u';
        std::printf("# --- command line option ---------------\n# --- (/%s)\n", valued ? text : from);
    }
}
