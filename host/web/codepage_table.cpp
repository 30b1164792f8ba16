// Writes the code page tables of the WebAssembly build, whose C library has no tables of
// its own for most of them: run natively at build time, it decodes every character of every
// page through the native road (iconv), so that the page reads names as the stand-in does.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/codepages.h"

int main()
{
    const int pages[] = {874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
    std::printf("// Made by host/web/codepage_table.cpp; not to be edited.\n");
    auto decoded = [](int page, std::string unit) -> unsigned {
        char32_t character = 0;
        if (!decodeCharacter(page, unit, character))
            return 0;
        if (character > 0xFFFF) {
            std::fprintf(stderr, "codepage_table: %d gives a character beyond 16 bits\n", page);
            std::exit(1);
        }
        return static_cast<unsigned>(character);
    };
    std::string list;
    for (int page : pages) {
        std::printf("const std::uint16_t SINGLE_%d[128] = {", page);
        for (int byte = 0x80; byte <= 0xFF; ++byte)
            std::printf("%s%u", byte > 0x80 ? "," : "",
                        characterLength(page, static_cast<unsigned char>(byte)) == 1
                            ? decoded(page, std::string(1, static_cast<char>(byte)))
                            : 0);
        std::printf("};\n");
        bool pairs = characterLength(page, 0x81) == 2;
        if (pairs) {
            std::printf("const std::uint16_t PAIR_%d[126 * 191] = {", page);
            for (int lead = 0x81; lead <= 0xFE; ++lead)
                for (int trail = 0x40; trail <= 0xFE; ++trail)
                    std::printf("%s%u%s", lead > 0x81 || trail > 0x40 ? "," : "",
                                characterLength(page, static_cast<unsigned char>(lead)) == 2
                                    ? decoded(page, {static_cast<char>(lead), static_cast<char>(trail)})
                                    : 0,
                                trail == 0xFE ? "\n" : "");
            std::printf("};\n");
        }
        list += "    {" + std::to_string(page) + ", SINGLE_" + std::to_string(page) + ", " +
                (pairs ? "PAIR_" + std::to_string(page) : std::string("nullptr")) + "},\n";
    }
    std::printf("const PageTable PAGE_TABLES[] = {\n%s};\n", list.c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
