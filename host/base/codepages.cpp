// Decoding the code pages drawings are written in, one character at a time, so that a byte
// that begins none is known and shown by itself, and every build agrees.
#include "base/codepages.h"

#include <cstdint>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#elif !defined(__EMSCRIPTEN__)
#include <iconv.h>

#include <map>
#endif

namespace {

const int PAGES[] = {874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

#if defined(__EMSCRIPTEN__)
// Made at build time by host/web/codepage_table.cpp from this file's iconv road.
struct PageTable {
    int codePage;
    const std::uint16_t* single;  // 0x80 to 0xFF; 0 for none
    const std::uint16_t* pair;    // leads 0x81 to 0xFE, each with trails 0x40 to 0xFE; none for a one-byte page
};
#include "codepage_tables.inc"

bool platformDecode(int codePage, std::string_view unit, char32_t& character)
{
    for (const PageTable& page : PAGE_TABLES) {
        if (page.codePage != codePage)
            continue;
        auto byte = [&](std::size_t i) { return static_cast<unsigned char>(unit[i]); };
        if (unit.size() == 1)
            character = byte(0) < 0x80 ? byte(0) : page.single[byte(0) - 0x80];
        else if (page.pair && byte(0) >= 0x81 && byte(0) <= 0xFE && byte(1) >= 0x40 && byte(1) <= 0xFE)
            character = page.pair[(byte(0) - 0x81) * 191 + (byte(1) - 0x40)];
        else
            character = 0;
        return character != 0;
    }
    return false;
}
#elif defined(_WIN32)
bool platformDecode(int codePage, std::string_view unit, char32_t& character)
{
    wchar_t wide[2];
    if (MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, unit.data(),
                            static_cast<int>(unit.size()), wide, 2) != 1)
        return false;
    character = wide[0];
    return true;
}
#else
bool platformDecode(int codePage, std::string_view unit, char32_t& character)
{
    // Windows has a character here that iconv's table has not.
    if (codePage == 1255 && unit == "\xCA")
        return character = U'\u05BA', true;
    // One converter a code page, closed at the end of the run.
    static struct Converters : std::map<int, iconv_t> {
        ~Converters()
        {
            for (auto& [page, convert] : *this)
                if (convert != reinterpret_cast<iconv_t>(-1))
                    iconv_close(convert);
        }
    } opened;
    auto found = opened.find(codePage);
    if (found == opened.end())
        found = opened.emplace(codePage, iconv_open("UTF-32LE", ("CP" + std::to_string(codePage)).c_str())).first;
    iconv_t convert = found->second;
    if (convert == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string in(unit);
    char32_t out[4];
    char* from = in.data();
    char* to = reinterpret_cast<char*>(out);
    std::size_t fromLeft = in.size(), toLeft = sizeof out;
    iconv(convert, nullptr, nullptr, nullptr, nullptr);
    // The flush gives a character some pages hold back, to join it with a mark that may follow.
    bool done = iconv(convert, &from, &fromLeft, &to, &toLeft) != static_cast<std::size_t>(-1) && fromLeft == 0 &&
                iconv(convert, nullptr, nullptr, &to, &toLeft) != static_cast<std::size_t>(-1);
    if (!done || toLeft != sizeof out - sizeof out[0])
        return false;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(out);
    character = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<char32_t>(bytes[3]) << 24;
    return true;
}
#endif

}  // namespace

bool knownCodePage(int codePage)
{
    for (int page : PAGES)
        if (page == codePage)
            return true;
    return codePage == UTF8_PAGE;
}

int characterLength(int codePage, unsigned char lead)
{
    if (codePage == 932)
        return (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC) ? 2 : 1;
    if (codePage == 936 || codePage == 949 || codePage == 950)
        return lead >= 0x81 && lead <= 0xFE ? 2 : 1;
    return 1;
}

bool decodeCharacter(int codePage, std::string_view unit, char32_t& character)
{
    if (unit.size() == 1 && static_cast<unsigned char>(unit[0]) < 0x80)
        return character = static_cast<unsigned char>(unit[0]), true;
    if (!platformDecode(codePage, unit, character))
        return false;
    bool meaningless = (character >= 0x80 && character <= 0x9F) || (character >= 0xE000 && character <= 0xF8FF) ||
                       (character >= 0xD800 && character <= 0xDFFF) || character > 0x10FFFF;
    return !meaningless;
}

std::size_t utf8Length(std::string_view s, std::size_t i)
{
    auto byte = [&](std::size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
    unsigned c = byte(i);
    if (c < 0x80)
        return 1;
    std::size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0)
        return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    unsigned second = byte(i + 1);
    if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
        (c == 0xF4 && second > 0x8F))
        return 0;  // overlong forms, surrogates, beyond U+10FFFF
    return n;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string decodedText(std::string_view bytes, int codePage, bool* whole)
{
    std::string out;
    bool all = true;
    for (std::size_t i = 0; i < bytes.size();) {
        unsigned char lead = static_cast<unsigned char>(bytes[i]);
        std::size_t n = 0;
        char32_t character;
        if (codePage == UTF8_PAGE) {
            n = utf8Length(bytes, i);
            if (n > 0)
                out.append(bytes.substr(i, n));
        } else if (lead < 0x80) {
            out += static_cast<char>(lead), n = 1;
        } else {
            std::size_t size = static_cast<std::size_t>(characterLength(codePage, lead));
            if (i + size <= bytes.size() && decodeCharacter(codePage, bytes.substr(i, size), character))
                appendUtf8(out, character), n = size;
        }
        if (n == 0) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", lead);
            out += escape, n = 1, all = false;
        }
        i += n;
    }
    if (whole)
        *whole = all;
    return out;
}
