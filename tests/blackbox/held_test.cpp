// Windows files that another program holds while a run needs them, as virus scanners,
// indexers and the host itself hold them: a moment is waited out, a run waits some 5 s in
// all, and the host finds its own records or the whole output, also after the next run.
#include <gtest/gtest.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "tool.h"

namespace {

const std::string INPUT = "hq\r\nhp1ln 1 1\r\n 0 0 100 0\r\n";
const std::string OUTPUT =
    "hd\r\n 0.000000000000 0.000000000000 98.480775301221 17.364817766693 \r\nlg14\r\nly14\r\nlt20\r\nlc20\r\n";
// The host's next records, for the run after.
const std::string NEXT_INPUT = "hq\r\nhp1ln 0 0\r\n 0 0 0 100\r\n";
const std::string NEXT_OUTPUT =
    "hd\r\n 0.000000000000 0.000000000000 -17.364817766693 98.480775301221 \r\nlg14\r\nly14\r\nlt20\r\nlc20\r\n";

struct Holder {
    const char* file;
    const char* share;  // holdfile's SHARE
    double seconds;     // how long it holds the file
    const char* when;   // holdfile's WHEN
};

struct Held {
    const char* label;
    std::vector<Holder> holders;
    // Before the run, each a word: NAME an older run's leftover, NAME! the same read-only,
    // NAME/ a directory, NAME= the host's records stranded there, with no qxc_temp.txt.
    const char* before;
    int status;       // the run's; -1 for 0 or 255, as a holder catches its moment or not
    const char* err;  // its messages; null for any
    double most;      // seconds the run may take
    double newer = 0;  // > 0: the host writes its next file this many seconds into the run
};

void PrintTo(const Held& held, std::ostream* out)
{
    *out << held.label;
}

// Windows finds the host's file by any case; Wine keeps the case a file was last named in,
// and a Unix folder may hold several.
std::string hostName(const Scratch& dir)
{
    std::string found;
    for (const std::string& name : listDir(dir.path))
        if (strcasecmp(name.c_str(), "qxc_temp.txt") == 0 && (found.empty() || name == "qxc_temp.txt"))
            found = name;
    return found;
}

std::string hostFile(const Scratch& dir)
{
    std::string name = hostName(dir);
    return name.empty() ? "(missing)" : readFile(dir / name);
}

bool anyFileHolds(const Scratch& dir, const std::string& bytes)
{
    for (const std::string& name : listDir(dir.path))
        if (readFile(dir / name) == bytes)
            return true;
    return false;
}

void lay(const Scratch& dir, const std::string& before)
{
    bool stranded = false;
    std::istringstream words(before);
    for (std::string word; words >> word;) {
        char last = word.back();
        std::string name = last == '!' || last == '/' || last == '=' ? word.substr(0, word.size() - 1) : word;
        if (last == '/')
            mkdir((dir / name).c_str(), 0755);
        else
            writeFile(dir / name, last == '=' ? INPUT : "#old\r\n");
        if (last == '!')
            chmod((dir / name).c_str(), 0444);
        stranded |= last == '=';
    }
    if (!stranded)
        writeFile(dir / "qxc_temp.txt", INPUT);
}

class HeldFile : public testing::TestWithParam<Held> {};

TEST_P(HeldFile, IsWaitedForWithinTheLimitAndNeverLosesTheRecords)
{
    if (!isWindowsBuild())
        GTEST_SKIP() << "only Windows holds a file against others";
    const Held& held = GetParam();
    Scratch dir, side;
    lay(dir, held.before);
    std::vector<int> holders;
    for (const Holder& h : held.holders) {
        std::string ready = side / ("ready" + std::to_string(holders.size()));
        std::vector<std::string> args = {h.file, h.share, std::to_string(h.seconds), "Z:" + ready, h.when};
        int holder = startBeside("tests/holdfile.exe", args, dir.path, side / "log");
        for (int i = 0; i < 3000 && !exists(ready) && waitpid(holder, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(exists(ready)) << readFile(side / "log");
        holders.push_back(holder);
    }

    std::thread host([&] {
        if (held.newer > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(held.newer));
            writeFile(dir / "qxc_temp.txt", NEXT_INPUT);
        }
    });
    auto started = std::chrono::steady_clock::now();
    Outcome run = runTool(dir.path, {});
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    host.join();
    for (int holder : holders) {
        kill(holder, SIGKILL);
        waitpid(holder, nullptr, 0);
    }

    EXPECT_TRUE(held.status >= 0 ? run.status == held.status : run.status == 0 || run.status == 255) << run.status;
    if (held.err) {
        EXPECT_EQ(held.err, run.err);
    }
    if (held.newer > 0) {
        // Never replaced by the older records' output: the host's next file, as it wrote it
        // or turned, and the older records kept.
        EXPECT_TRUE(hostFile(dir) == NEXT_INPUT || hostFile(dir) == NEXT_OUTPUT) << run.status << " " << run.err;
        EXPECT_TRUE(anyFileHolds(dir, INPUT));
        return;
    }
    EXPECT_EQ(run.status ? INPUT : OUTPUT, hostFile(dir)) << run.err;
    EXPECT_LT(seconds, held.most) << "seconds the run took";

    // The host reads its file back and writes the next: the next run keeps whatever holds
    // the first run's records, and does its own work.
    bool recordsBack = hostFile(dir) == INPUT || hostFile(dir) == OUTPUT;
    if (!hostName(dir).empty())
        unlink((dir / hostName(dir)).c_str());
    writeFile(dir / "qxc_temp.txt", NEXT_INPUT);
    Outcome next = runTool(dir.path, {});
    std::string after = hostFile(dir);
    EXPECT_TRUE(after == NEXT_OUTPUT || (next.status != 0 && after == NEXT_INPUT)) << next.err;
    EXPECT_TRUE(recordsBack || anyFileHolds(dir, INPUT)) << "the first run's records are lost";
}

const char* const HELD_HOST = "Cannot open file: qxc_temp.txt \nHeld by another program: qxc_temp.txt \n";

// A moment is 0.4 s; the whole run takes some 50 ms under Wine; the limit is 5 s.
const Held CASES[] = {
    {"ExchangeFileUnshared", {{"qxc_temp.txt", "-", 0.4, ""}}, "", 0, "", 4},
    {"ExchangeFileForReading", {{"qxc_temp.txt", "r", 0.4, ""}}, "", 0, "", 4},
    {"ExchangeFileShared", {{"qxc_temp.txt", "rwd", 0.4, ""}}, "", 0, "", 4},
    {"WorkFileLeftoverPendingDeletion", {{"QXC_TEMP.$$$", "rwdx", 0.4, ""}}, "QXC_TEMP.$$$", 0, "", 4},
    {"RenamingLeftover", {{"QXC_x2x2.$$$", "-", 0.4, ""}}, "QXC_x2x2.$$$", 0, "", 4},
    {"ReadOnlyLeftovers", {}, "QXC_TEMP.$$$! QXC_x2x2.$$! QXC_x2x2.$$$!", 0, "", 4},
    // Held for good: the run ends once the limit is reached, the host's records under its name.
    {"ExchangeFileUnsharedForGood", {{"qxc_temp.txt", "-", 8, ""}}, "", 255, HELD_HOST, 7},
    {"ExchangeFileSharedForGood", {{"qxc_temp.txt", "rwd", 8, ""}}, "", 255,
     "Held by another program: QXC_TEMP.TXT \n", 7},
    {"RenamingLeftoverForGood", {{"QXC_x2x2.$$$", "-", 8, ""}}, "QXC_x2x2.$$$", 255,
     "Cannot open file: QXC_x2x2.$$$ \nHeld by another program: QXC_x2x2.$$$ \n", 7},
    // A stale working name beside the held host's file, in a folder where case matters.
    {"StaleWorkingNameBesideTheHeldFile", {{"qxc_temp.txt", "-", 8, ""}}, "QXC_TEMP.TXT", 255, HELD_HOST, 7},
    // Records an earlier run stranded, held against renaming: copied back.
    {"StrandedRecordsHeld", {{"QXC_x2x2.$$", "r", 8, ""}}, "QXC_x2x2.$$=", 255,
     "Cannot open file: QXC_x2x2.$$ \nHeld by another program: QXC_x2x2.$$ \n", 7},
    {"StrandedRecordsBesideAHeldLeftover", {{"QXC_x2x2.$$$", "-", 8, ""}}, "QXC_x2x2.$$= QXC_x2x2.$$$", 255,
     "Cannot open file: QXC_x2x2.$$$ \nHeld by another program: QXC_x2x2.$$$ \n", 7},
    // A scanner that grabs each new file and follows it through the renames.
    {"GrabbedAsItAppears", {{"QXC_x2x2.$$$", "r", 8, "a"}}, "", -1, nullptr, 7},
    // The finished output, scanned once it has data, or reopened by an indexer.
    {"OutputScannedOnClose", {{"QXC_TEMP.$$$", "rw", 8, "d"}}, "", 0, "", 4},
    {"OutputReopenedByAnIndexer", {{"QXC_TEMP.$$$", "rw", 8, "dl"}}, "", 0, "", 4},
    // Held one after another: the waits add up to the one limit, not one limit a step.
    {"OneLimitForTheRun",
     {{"qxc_temp.txt", "-", 1.9, ""}, {"QXC_x2x2.$$$", "-", 3.8, ""}, {"QXC_TEMP.$$$", "-", 5.7, ""}},
     "QXC_x2x2.$$$ QXC_TEMP.$$$", 255, "Cannot open file: QXC_TEMP.$$$ \nHeld by another program: QXC_TEMP.$$$ \n",
     7},
    // The host writes its next file while the run waits to take older stranded records.
    {"NewHostFileWhileWaiting", {{"QXC_x2x2.$$$", "r", 2.5, ""}}, "QXC_x2x2.$$$=", -1, nullptr, 7, 1.2},
    // Refused for good is no moment: nothing is waited for.
    {"WorkFileADirectory", {}, "QXC_TEMP.$$$/", 255, "Cannot open file: QXC_TEMP.$$$ \n", 1.5},
    {"RenamingNameADirectory", {}, "QXC_x2x2.$$/", 0, "", 1.5},
};

INSTANTIATE_TEST_SUITE_P(Windows, HeldFile, testing::ValuesIn(CASES),
                         [](const testing::TestParamInfo<Held>& info) { return std::string(info.param.label); });

}  // namespace
