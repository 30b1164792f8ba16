// Decoding the host's code page, through iconv or, on Windows, the system's code page 932.
#include "base/text.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace {

bool fromShiftJis(const std::string& bytes, std::string& utf8)
{
#ifdef _WIN32
    int wide = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (wide <= 0)
        return false;
    std::wstring units(wide, L'\0');
    MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), units.data(), wide);
    int size = WideCharToMultiByte(CP_UTF8, 0, units.data(), wide, nullptr, 0, nullptr, nullptr);
    utf8.assign(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, units.data(), wide, utf8.data(), size, nullptr, nullptr);
    return true;
#else
    iconv_t cd = iconv_open("UTF-8", "SHIFT_JIS");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string in = bytes, out(bytes.size() * 4 + 4, '\0');
    char* inp = in.data();
    char* outp = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    std::size_t done = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1))
        return false;
    out.resize(out.size() - outLeft);
    utf8 = out;
    return true;
#endif
}

// The length of the valid UTF-8 sequence at `i`, 0 when there is none.
std::size_t utf8Sequence(const std::string& s, std::size_t i)
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

}  // namespace

std::string hostText(const std::string& bytes)
{
    std::string utf8;
    if (fromShiftJis(bytes, utf8))
        return utf8;
    std::string out;
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t n = utf8Sequence(bytes, i);
        if (n > 0) {
            out.append(bytes, i, n);
            i += n;
        } else {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(bytes[i]));
            out += escape;
            ++i;
        }
    }
    return out;
}

std::string excerpt(std::string_view text)
{
    constexpr std::size_t SHOWN = 60;
    return std::string(text.substr(0, SHOWN)) + (text.size() > SHOWN ? "..." : "");
}
