// Windows files that another program holds while a run needs them, as virus scanners,
// indexers and the host itself hold them: a moment is waited out, a file held for good
// fails the run within the bound, and the host finds its records either way.
#include <gtest/gtest.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tool.h"

namespace {

const std::string INPUT = "hq\r\nhp1ln 1 1\r\n 0 0 100 0\r\n";
const std::string OUTPUT =
    "hd\r\n 0.000000000000 0.000000000000 98.480775301221 17.364817766693 \r\nlg14\r\nly14\r\nlt20\r\nlc20\r\n";

struct Held {
    const char* label;
    const char* file;     // held by holdfile; a leftover of an older run ("#old") unless the exchange file
    const char* share;    // holdfile's SHARE; empty for a read-only leftover, held by none
    double seconds;       // how long it is held
    int status;           // the run's
    const char* err;      // its message
    const char* output;   // where the command stream is left, if anywhere
};

// Windows finds the host's file by any case; Wine keeps the case a file was last named in.
std::string hostFile(const Scratch& dir)
{
    for (const std::string& name : listDir(dir.path))
        if (strcasecmp(name.c_str(), "qxc_temp.txt") == 0)
            return readFile(dir / name);
    return "(missing)";
}

class HeldFile : public testing::TestWithParam<Held> {};

TEST_P(HeldFile, IsWaitedForAMomentAndNeverLosesTheRecords)
{
    if (!isWindowsBuild())
        GTEST_SKIP() << "only Windows holds a file against others";
    const Held& held = GetParam();
    Scratch dir, side;
    writeFile(dir / "qxc_temp.txt", INPUT);
    if (std::string(held.file) != "qxc_temp.txt")
        writeFile(dir / held.file, "#old\r\n");
    int holder = -1;
    if (!*held.share) {
        chmod((dir / held.file).c_str(), 0444);
    } else {
        std::vector<std::string> args = {held.file, held.share, std::to_string(held.seconds), "Z:" + side / "ready"};
        holder = startBeside("tests/holdfile.exe", args, dir.path, side / "log");
        for (int i = 0; i < 3000 && !exists(side / "ready") && waitpid(holder, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(exists(side / "ready")) << readFile(side / "log");
    }

    auto started = std::chrono::steady_clock::now();
    Outcome run = runTool(dir.path, {});
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (holder > 0) {
        kill(holder, SIGKILL);
        waitpid(holder, nullptr, 0);
    }

    EXPECT_EQ(held.status, run.status);
    EXPECT_EQ(held.err, run.err);
    EXPECT_EQ(held.status ? INPUT : OUTPUT, hostFile(dir));
    // Held for good, a step waits some two seconds: the run ends long before the file is let go.
    EXPECT_LT(seconds, 6.0) << "seconds the run took";
    EXPECT_TRUE(held.status != 0 || listDir(dir.path).size() == 1) << "files left: " << listDir(dir.path).size();
    EXPECT_EQ(*held.output ? OUTPUT : "", *held.output ? readFile(dir / held.output) : "");
}

// A moment is 0.4 s; the whole run takes some 50 ms under Wine.
const Held CASES[] = {
    {"ExchangeFileUnshared", "qxc_temp.txt", "-", 0.4, 0, "", ""},
    {"ExchangeFileForReading", "qxc_temp.txt", "r", 0.4, 0, "", ""},
    {"ExchangeFileShared", "qxc_temp.txt", "rwd", 0.4, 0, "", ""},
    {"WorkFileLeftoverPendingDeletion", "QXC_TEMP.$$$", "rwdx", 0.4, 0, "", ""},
    {"RenamingLeftover", "QXC_x2x2.$$$", "-", 0.4, 0, "", ""},
    {"ReadOnlyWorkFileLeftover", "QXC_TEMP.$$$", "", 0, 0, "", ""},
    {"ExchangeFileUnsharedForGood", "qxc_temp.txt", "-", 8, 255, "Cannot open file: QXC_TEMP.TXT \n", ""},
    {"ExchangeFileSharedForGood", "qxc_temp.txt", "rwd", 8, 255, "Cannot open file: QXC_TEMP.TXT \n",
     "QXC_TEMP.$$$"},
    {"RenamingLeftoverForGood", "QXC_x2x2.$$$", "-", 8, 255, "Cannot open file: QXC_x2x2.$$$ \n", ""},
};

INSTANTIATE_TEST_SUITE_P(Windows, HeldFile, testing::ValuesIn(CASES),
                         [](const testing::TestParamInfo<Held>& info) { return std::string(info.param.label); });

}  // namespace
