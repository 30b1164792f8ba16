// Text in one of the ANSI code pages of Windows that drawings name (874, 932, 936, 949, 950,
// 1250 to 1258) or in UTF-8, decoded to UTF-8 alike on every build: through iconv, through
// MultiByteToWideChar on Windows, and through tables made from the former for WebAssembly.
#pragma once

#include <string>
#include <string_view>

constexpr int UTF8_PAGE = 65001;

// Whether `codePage` is one of those above.
bool knownCodePage(int codePage);

// The bytes a character of `codePage` beginning with `lead` takes: 1 or 2.
int characterLength(int codePage, unsigned char lead);

// The character `unit` (of characterLength bytes, at most 2) stands for in `codePage`; false
// where it stands for none. Characters of the private use area and C1 controls count as none:
// Windows gives them for bytes other systems leave undefined, so they would differ by build,
// and they mean nothing to a reader.
bool decodeCharacter(int codePage, std::string_view unit, char32_t& character);

// `bytes` in `codePage` as UTF-8, each byte that begins no character written as \xHH;
// `whole`, when given, says whether none was.
std::string decodedText(std::string_view bytes, int codePage, bool* whole = nullptr);

// The length of the valid UTF-8 sequence at `at`, 0 when there is none.
std::size_t utf8Length(std::string_view text, std::size_t at);

// `character` appended to `out` in UTF-8.
void appendUtf8(std::string& out, char32_t character);
