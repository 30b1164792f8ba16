// Inputs no host should write, and a run killed at any moment: each has a defined outcome.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "tool.h"

namespace {

const std::string RESTORE = "lg14\r\nly14\r\nlt20\r\nlc20\r\n";

// Runs the tool on `input` and returns the exchange file it leaves, expecting success.
std::string rewritten(const std::string& input, const std::vector<std::string>& args = {},
                      const std::string& err = "")
{
    Scratch dir;
    writeFile(dir / "qxc_temp.txt", input);
    Outcome run = runTool(dir.path, args);
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(err, run.err);
    return readFile(dir / "QXC_TEMP.TXT");
}

std::string lineRecords(int count)
{
    std::string text = "hq\r\nhp1ln 1 1\r\n";
    for (int i = 0; i < count - 2; ++i)
        text += " " + std::to_string(i) + " 0 " + std::to_string(i + 100) + " 7.5\r\n";
    return text;
}

}  // namespace

TEST(Hostile, NumbersOutOfAllProportion)
{
    EXPECT_EQ(" 0.000000000000 0.000000000000 inf inf \r\n" + RESTORE, rewritten("hp1ln 1 1\n 0 0 inf 0\n"));
    EXPECT_EQ(" nan nan nan nan \r\n" + RESTORE, rewritten(" nan 0 100 0\n"));
    std::string digits(400, '9');
    EXPECT_EQ(" 0.000000000000 0.000000000000 inf inf \r\n" + RESTORE,
              rewritten("hp1ln 1 1\n 0 0 " + digits + " 0\n"));
    EXPECT_EQ("lc" + digits + "\r\nlg" + digits + "\r\nlgffffffff\r\nly14\r\nlt20\r\nlc2147483647\r\n",
              rewritten("lc" + digits + "\nlg" + digits + "\n"));
}

TEST(Hostile, HugeLinesComeBackWhole)
{
    std::string line = "#" + std::string(10 * 1024 * 1024, 'x');
    EXPECT_EQ(line + "\r\n" + RESTORE, rewritten(line + "\n"));
}

TEST(Hostile, CarriageReturnsWithoutLineFeedsAreData)
{
    EXPECT_EQ("#a\rb\rc\r\r\n" + RESTORE, rewritten("#a\rb\rc\r"));
}

TEST(Hostile, BinaryGarbageLeavesWellFormedLines)
{
    std::mt19937 random(12345);
    std::string garbage;
    for (int i = 0; i < 200000; ++i)
        garbage.push_back(static_cast<char>(random()));
    std::string out = rewritten(garbage);
    ASSERT_GE(out.size(), RESTORE.size());
    EXPECT_EQ(RESTORE, out.substr(out.size() - RESTORE.size()));
    for (std::size_t lf = out.find('\n'); lf != std::string::npos; lf = out.find('\n', lf + 1))
        ASSERT_EQ('\r', out[lf - 1]) << "a line feed without its carriage return at " << lf;
}

TEST(Hostile, FiftyThousandLineRecords)
{
    std::string out = rewritten(lineRecords(50000));
    EXPECT_EQ(50000 - 2 + 1 + 4, std::count(out.begin(), out.end(), '\n'));
    EXPECT_EQ(0u, out.find("hd\r\n 0.000000000000 0.000000000000 97.178413968719 24.750875914285 \r\n"));
}

TEST(Hostile, StrangeSwitches)
{
    EXPECT_EQ("hd\r\n" + RESTORE, rewritten("hq\n", {"-"}, "\n illegal Option.\n"));
    // A Windows command line holds at most 32767 characters.
    std::size_t size = isWindowsBuild() ? 15000 : 100 * 1024;
    std::string huge = "/p" + std::string(size, '7');
    EXPECT_EQ(" 0.000000000000 0.000000000000 98.480775301221 17.364817766693 \r\n" + RESTORE,
              rewritten("hp1ln 1 1\n 0 0 100 0\n", {huge, "/t" + std::string(size, '9')}));
}

// Killed at any moment, the host finds its own records (under the working name or, early
// on, a name of the renaming) or the complete output, never a part of either.
TEST(Faults, KilledAtAnyMomentLosesNothing)
{
    const std::string input = lineRecords(50000);
    Scratch reference;
    writeFile(reference / "qxc_temp.txt", input);
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(0, runTool(reference.path, {}).status);
    long runMicros =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started).count();
    const std::string output = readFile(reference / "QXC_TEMP.TXT");

    int completed = 0, killed = 0;
    for (int step = 0; step <= 60; ++step) {
        Scratch dir;
        writeFile(dir / "qxc_temp.txt", input);
        Outcome run = runTool(dir.path, {}, {-1, runMicros * step / 50});
        (run.status == 0 ? completed : killed)++;
        int hostRecords = 0;
        for (const char* name : {"qxc_temp.txt", "QXC_x2x2.$$", "QXC_x2x2.$$$", "QXC_TEMP.TXT"})
            if (exists(dir / name) && readFile(dir / name) == input)
                ++hostRecords;
        bool done = exists(dir / "QXC_TEMP.TXT") && readFile(dir / "QXC_TEMP.TXT") == output;
        EXPECT_EQ(1, hostRecords + done) << "killed after " << runMicros * step / 50 << " us";
    }
    EXPECT_GT(killed, 0);
    std::printf("[ killed %d runs, %d completed; a whole run takes %ld us ]\n", killed, completed, runMicros);
}
