// The bytes of the writers, and the line-end translation of reading and writing.
#include <gtest/gtest.h>


#include "capture.h"
#include "output/records.h"
#include "output/stream.h"
#include "run/textfile.h"

TEST(Writers, FixedPointIsExactlyRounded)
{
    OutputCapture out;
    putFixed(0.125, 2);  // an exact tie rounds to even, as printf does
    put(" ");
    putFixed(-0.0000000000001, 12);
    put(" ");
    putFixed(123456789012.345678, 12);
    put(" ");
    putFixed(1e22, 2);
    EXPECT_EQ("0.12 -0.000000000000 123456789012.345672607422 10000000000000000000000.00", out.text());
}

TEST(Writers, IntegersAsTheRecordsWriteThem)
{
    OutputCapture out;
    putHex(31);
    put(" ");
    putHex(-1);
    put(" ");
    putInt(-2147483647 - 1);
    put(" ");
    putUnsigned(50000);
    EXPECT_EQ("1f ffffffff -2147483648 50000", out.text());
}

TEST(Writers, EchoKeepsEveryByteAndEndsTheLine)
{
    OutputCapture out;
    Echo(std::string("#a\0b\n", 5));
    Echo("#no line end");
    Echo("#lone\rcr\n");
    EXPECT_EQ(std::string("#a\0b\r\n#no line end\r\n#lone\rcr\r\n", 30), out.text());
}

TEST(TextFiles, ReadsCrLfAsLfAndKeepsOtherBytes)
{
    std::FILE* f = std::tmpfile();
    std::string bytes("a\r\nb\n\r\r\nc\rd\x1a\0e\r", 15);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    std::string line;
    std::vector<std::string> got;
    while (readLine(f, line))
        got.push_back(line);
    std::fclose(f);
    std::vector<std::string> want = {"a\n", "b\n", "\r\n", std::string("c\rd\x1a\0e\r", 7)};
    EXPECT_EQ(want, got);
}
