// Runs whose input is made by the test: a refusal and a run that meet a full disk.
#include <gtest/gtest.h>

#include "tool.h"

TEST(RecordLimit, ARefusalThatCannotBeWrittenSaysSo)
{
    Scratch dir;
    const std::string input(50001, '\n');
    writeFile(dir / "qxc_temp.txt", input);
    Outcome run = runTool(dir.path, {}, {20});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("Cannot write file: QXC_TEMP.$$$ \n", run.err);
    EXPECT_TRUE(sameBytes(input, readFile(dir / "QXC_TEMP.TXT")));
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
