// The names a DXF drawing gives (its layers'), read as its header says they are written.
#pragma once

#include <string>
#include <string_view>

// How a drawing's names are written: R2007 (AC1021) and later in UTF-8, older ones in the
// code page of $DWGCODEPAGE (ANSI_1252 when it names none the stand-in knows).
struct NameCoding {
    int codePage = 1252;
    bool utf8 = false;
    bool told = false;  // the header gave $ACADVER or $DWGCODEPAGE

    // Takes a header variable's value: `variable` as group 9 named it.
    void take(std::string_view variable, int code, std::string_view value);
};

// The name `raw` as UTF-8: decoded from the drawing's code page, then its \U+XXXX and
// \M+NXXXX escapes; a byte that begins no character is written \xHH. A drawing whose header
// says nothing (a bare ENTITIES section, say) has its names taken as UTF-8 where they are that.
std::string decodedName(std::string_view raw, const NameCoding& coding);

// Whether `raw` is a name that decodes to itself: ASCII with no escape.
bool plainName(std::string_view raw);
