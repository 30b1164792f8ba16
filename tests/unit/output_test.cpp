// The bytes of the writers, and the line-end translation of reading and writing.
#include <gtest/gtest.h>

#include <cmath>

#include "capture.h"
#include "output/records.h"
#include "output/stream.h"
#include "run/textfile.h"

TEST(Writers, LineRecordAndTextLabelTexts)
{
    OutputCapture out;
    Sen(0, 0, 98.480775301221, 17.364817766693);
    Sen(0.75961234939, -8.682408883347, 99.24038765061, 8.682408883347);
    MojiOutD2(98.480775301221, 17.364817766693, 2, 1);
    EXPECT_EQ(" 0.000000000000 0.000000000000 98.480775301221 17.364817766693 \r\n"
              " 0.759612349390 -8.682408883347 99.240387650610 8.682408883347 \r\n"
              "ch 98.480775 17.364818 3 0 \"2,1\r\n",
              out.text());
}

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

TEST(TextFiles, LinesOfAnyLengthComeWhole)
{
    std::FILE* f = std::tmpfile();
    std::string longLine(100000, 'x');
    std::fputs((longLine + "\r\nshort").c_str(), f);
    std::rewind(f);
    std::string line;
    ASSERT_TRUE(readLine(f, line));
    EXPECT_EQ(longLine + "\n", line);
    ASSERT_TRUE(readLine(f, line));
    EXPECT_EQ("short", line);
    EXPECT_FALSE(readLine(f, line));
    std::fclose(f);
}
