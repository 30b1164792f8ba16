// Runs whose input is made by the test: the record limit, full disks and file names.
#include <gtest/gtest.h>

#include "tool.h"

namespace {

std::string repeat(const std::string& line, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += line;
    return text;
}

const std::string LIMIT_RECORD("he  \x97\x76\x91\x66\x90\x94\x83\x49\x81\x5B\x83\x6F\x81\x5B    MAX=50000\r\n");

}  // namespace

TEST(RecordLimit, FiftyThousandRecordsAreRead)
{
    Scratch dir;
    writeFile(dir / "qxc_temp.txt", repeat("#\r\n", 50000));
    Outcome run = runTool(dir.path, {});
    EXPECT_EQ(0, run.status);
    EXPECT_TRUE(sameBytes(repeat("#\r\n", 50000) + "lg14\r\nly14\r\nlt20\r\nlc20\r\n", readFile(dir / "QXC_TEMP.TXT")));
}

TEST(RecordLimit, ARefusalThatCannotBeWrittenSaysSo)
{
    Scratch dir;
    writeFile(dir / "qxc_temp.txt", repeat("#\n", 50001));
    Outcome run = runTool(dir.path, {}, {20});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("Cannot write file: QXC_TEMP.$$$ \n", run.err);
    EXPECT_TRUE(sameBytes(repeat("#\n", 50001), readFile(dir / "QXC_TEMP.TXT")));
}

TEST(RecordLimit, OneMoreIsRefusedAndTheExchangeFileKept)
{
    for (const std::string& input : {repeat("#\n", 50001), repeat("#\n", 50000) + "#"}) {
        Scratch dir;
        writeFile(dir / "qxc_temp.txt", input);
        Outcome run = runTool(dir.path, {});
        EXPECT_EQ(1, run.status);
        EXPECT_EQ("", run.out + run.err);
        EXPECT_EQ(33u, LIMIT_RECORD.size());
        EXPECT_EQ(LIMIT_RECORD, readFile(dir / "QXC_TEMP.$$$"));
        EXPECT_TRUE(sameBytes(input, readFile(dir / "QXC_TEMP.TXT")));
    }
}

// With the output work file limited to each size in turn, the run either completes or
// reports the failed write, and the exchange file is never left half written.
TEST(Faults, AFullDiskNeverLeavesAPartialExchangeFile)
{
    const std::string input = readFile(CORPUS_DIR "/mixed.txt");  // a few hundred records of every kind
    Scratch reference;
    writeFile(reference / "qxc_temp.txt", input);
    ASSERT_EQ(0, runTool(reference.path, {}).status);
    const std::string output = readFile(reference / "QXC_TEMP.TXT");

    std::vector<long> sizes = {static_cast<long>(output.size()) - 1, static_cast<long>(output.size())};
    for (long size = 0; size < static_cast<long>(output.size()) + 100; size += 71)
        sizes.push_back(size);
    for (long size : sizes) {
        Scratch dir;
        writeFile(dir / "qxc_temp.txt", input);
        Outcome run = runTool(dir.path, {}, {size});
        std::string result = readFile(dir / "QXC_TEMP.TXT");
        if (run.status == 0) {
            EXPECT_TRUE(sameBytes(output, result)) << size;
            EXPECT_FALSE(exists(dir / "QXC_TEMP.$$$"));
        } else {
            EXPECT_EQ(1, run.status) << size;
            EXPECT_EQ("Cannot write file: QXC_TEMP.$$$ \n", run.err) << size;
            EXPECT_TRUE(sameBytes(input, result)) << size;
        }
        EXPECT_EQ(size >= static_cast<long>(output.size()), run.status == 0) << size;
    }
}

// Windows file names do not depend on case: there the host's file is found however it is
// spelled, and ends under the working name. Elsewhere only the two names of the run count.
TEST(FileNames, TheExchangeFileSpelledInMixedCase)
{
    Scratch dir;
    writeFile(dir / "Qxc_Temp.Txt", "hq\n");
    Outcome run = runTool(dir.path, {});
    if (isWindowsBuild()) {
        EXPECT_EQ(0, run.status);
        EXPECT_EQ(std::vector<std::string>{"QXC_TEMP.TXT"}, listDir(dir.path));
        EXPECT_EQ("hd\r\nlg14\r\nly14\r\nlt20\r\nlc20\r\n", readFile(dir / "QXC_TEMP.TXT"));
    } else {
        EXPECT_EQ(255, run.status);
        EXPECT_EQ("Cannot open file: QXC_TEMP.TXT \n", run.err);
        EXPECT_EQ(std::vector<std::string>{"Qxc_Temp.Txt"}, listDir(dir.path));
    }
}
