// Capture of the host's initial attributes and the restore records that close the stream.
#include "exchange/attributes.h"

#include "exchange/numbers.h"
#include "output/stream.h"
#include "common/state.h"

namespace {

constexpr int NOT_CAPTURED = 20;

void capture(const char* from, bool hex, int& working, int& initial)
{
    // A record without a readable number still captures: the working value as it stands.
    if (hex)
        scanHex(from, working);
    else
        scanInt(from, working);
    if (initial == NOT_CAPTURED)
        initial = working;
}

// "cn0 w h d c" gives the four values of text kind 0 and closes the text capture at kind 0.
void captureTextValues(const char* from)
{
    scanDouble(from, MOJI_W) && scanDouble(from, MOJI_H) && scanDouble(from, MOJI_D) && scanInt(from, MOJI_C);
    if (MOJISi != NOT_CAPTURED)
        return;
    MOJIWi = MOJI_W;
    MOJIHi = MOJI_H;
    MOJIDi = MOJI_D;
    MOJICi = MOJI_C;
    MOJISi = 0;
}

}  // namespace

void captureAttribute(const char* text)
{
    char kind = text[0], what = text[1];
    if (kind == 'l' && what == 'c')
        capture(text + 2, false, COLOR, COLORi);
    else if (kind == 'l' && what == 't')
        capture(text + 2, false, TYPE, TYPEi);
    else if (kind == 'l' && what == 'y')
        capture(text + 2, true, LAYER, LAYERi);
    else if (kind == 'l' && what == 'g')
        capture(text + 2, true, GROUP, GROUPi);
    else if (kind == 'p' && what == 'n')
        capture(text + 2, true, TENS, TENSi);
    else if (kind == 'c' && what == 'n' && text[2] == '0')
        captureTextValues(text + 3);
    else if (kind == 'c' && what == 'n' && text[2] != '"')
        capture(text + 2, false, MOJIS, MOJISi);
}

void IniZokusei()
{
    if (MOJIWi > 0.0) {
        put("cn0 ");
        putFixed(MOJIWi, 2);
        put(", ");
        putFixed(MOJIHi, 2);
        put(", ");
        putFixed(MOJIDi, 2);
        put(", ");
        putInt(MOJICi);
        put("\n");
    }
    if (MOJISi != 0 && MOJISi <= 10) {
        put("cn");
        putInt(MOJISi);
        put("\n");
    }
    put("lg");
    putHex(GROUPi);
    put("\nly");
    putHex(LAYERi);
    put("\nlt");
    putInt(TYPEi);
    put("\nlc");
    putInt(COLORi);
    put("\n");
    if (TENSi <= 9) {
        put("pn");
        putInt(TENSi);
        put("\n");
    }
}
