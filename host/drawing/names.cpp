// Decoding a DXF drawing's names: its code page, then the escapes any version may hold.
#include "drawing/names.h"

#include <cctype>

#include "base/codepages.h"

namespace {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool sameLetters(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The value of `count` hexadecimal digits at `at`, or -1.
long hexAt(std::string_view text, std::size_t at, std::size_t count)
{
    if (at + count > text.size())
        return -1;
    long value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i])))
            return -1;
        value = value * 16 + (std::isdigit(static_cast<unsigned char>(text[i])) ? text[i] - '0'
                                                                               : std::toupper(text[i]) - 'A' + 10);
    }
    return value;
}

// The escape at `at` (a backslash) decoded into `out`; the bytes it takes, 0 for none.
std::size_t escapeAt(std::string_view text, std::size_t at, std::string& out)
{
    if (at + 3 > text.size() || text[at + 2] != '+')
        return 0;
    char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(text[at + 1])));
    if (kind == 'U') {
        long unit = hexAt(text, at + 3, 4);
        if (unit <= 0 || (unit >= 0xDC00 && unit <= 0xDFFF))
            return 0;
        if (unit < 0xD800 || unit > 0xDBFF)
            return appendUtf8(out, static_cast<char32_t>(unit)), 7;
        // A character beyond the first plane, as two escapes of UTF-16.
        long low = at + 9 < text.size() && text[at + 7] == '\\' && std::toupper(text[at + 8]) == 'U' &&
                           text[at + 9] == '+'
                       ? hexAt(text, at + 10, 4)
                       : -1;
        if (low < 0xDC00 || low > 0xDFFF)
            return 0;
        appendUtf8(out, static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
        return 14;
    }
    if (kind == 'M') {
        // \M+NXXXX: a character of two bytes in the code page N stands for.
        static const int PAGE_OF[] = {0, 932, 950, 949, 0, 936};
        long page = hexAt(text, at + 3, 1), bytes = hexAt(text, at + 4, 4);
        if (page < 1 || page > 5 || PAGE_OF[page] == 0 || bytes < 0)
            return 0;
        const char pair[] = {static_cast<char>(bytes >> 8), static_cast<char>(bytes & 0xFF)};
        char32_t character;
        if (characterLength(PAGE_OF[page], static_cast<unsigned char>(pair[0])) != 2 ||
            !decodeCharacter(PAGE_OF[page], std::string_view(pair, 2), character))
            return 0;
        return appendUtf8(out, character), 8;
    }
    return 0;
}

}  // namespace

void NameCoding::take(std::string_view variable, int code, std::string_view value)
{
    value = trimmed(value);
    if (variable == "$ACADVER" && code == 1) {
        // AC1021 and on: R2007 and later. A version not of that form is taken for an old one.
        int number = 0;
        if (value.size() == 6 && sameLetters(value.substr(0, 2), "AC"))
            for (char c : value.substr(2))
                number = number >= 0 && std::isdigit(static_cast<unsigned char>(c)) ? number * 10 + (c - '0') : -1;
        utf8 = number >= 1021;
        told = true;
    } else if (variable == "$DWGCODEPAGE" && code == 3) {
        int page = 0;
        if (value.size() > 5 && sameLetters(value.substr(0, 5), "ANSI_") && value.size() <= 10)
            for (char c : value.substr(5))
                page = std::isdigit(static_cast<unsigned char>(c)) && page >= 0 ? page * 10 + (c - '0') : -1;
        codePage = page != UTF8_PAGE && knownCodePage(page) ? page : 1252;
        told = true;
    }
}

bool plainName(std::string_view raw)
{
    for (char c : raw)
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\\')
            return false;
    return true;
}

std::string decodedName(std::string_view raw, const NameCoding& coding)
{
    if (plainName(raw))
        return std::string(raw);
    bool whole = false;
    std::string text;
    if (!coding.told || coding.utf8)
        text = decodedText(raw, UTF8_PAGE, &whole);
    if (!coding.utf8 && !whole)
        text = decodedText(raw, coding.codePage);
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t taken = text[i] == '\\' ? escapeAt(text, i, out) : 0;
        if (taken == 0)
            out += text[i], taken = 1;
        i += taken;
    }
    return out;
}
