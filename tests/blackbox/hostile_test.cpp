// Inputs no host should write, and a run killed at any moment: each has a defined outcome.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <map>

#include "tool.h"

namespace {

const std::string RESTORE = "lg14\r\nly14\r\nlt20\r\nlc20\r\n";

// Runs the tool on `input` and returns the exchange file it leaves, expecting success.
std::string rewritten(const std::string& input)
{
    Scratch dir;
    writeFile(dir / "qxc_temp.txt", input);
    EXPECT_EQ(0, runTool(dir.path, {}).status);
    return readFile(dir / "QXC_TEMP.TXT");
}

std::string lineRecords(int count)
{
    std::string text = "hq\r\nhp1ln 1 1\r\n";
    for (int i = 0; i < count - 2; ++i)
        text += " " + std::to_string(i) + " 0 " + std::to_string(i + 100) + " 7.5\r\n";
    return text;
}

// How many of the names the host's records can stand under hold them whole.
int hostCopies(const Scratch& dir, const std::string& input)
{
    int copies = 0;
    for (const char* name : {"qxc_temp.txt", "QXC_x2x2.$$", "QXC_x2x2.$$$", "QXC_TEMP.TXT"})
        copies += exists(dir / name) && readFile(dir / name) == input;
    return copies;
}

}  // namespace

// A record is taken whole up to 1 MiB, its line feed included (and a CR LF split between
// two blocks of reading still read as LF); a longer one refuses the run before anything is
// written, so memory stays bounded.
TEST(Hostile, RecordsOfUpToOneMebibyte)
{
    const std::size_t MAX = 1 << 20;
    const std::string split = "#" + std::string(65534, 'x') + "\r\n", longest = "#" + std::string(MAX - 2, 'y') + "\r\n";
    const std::string last = "#" + std::string(MAX - 1, 'v');  // the longest, without a line end
    EXPECT_TRUE(sameBytes(split + longest + last + "\r\n" + RESTORE, rewritten(split + longest + last)));
    const std::string block = "#" + std::string(65534, 'x') + "\n";  // a last block of one byte
    EXPECT_TRUE(sameBytes(block.substr(0, 65535) + "\r\nl\r\n" + RESTORE, rewritten(block + "l")));
    const std::string justTooLong = "#\n#" + std::string(MAX - 1, 'z');  // and a byte more
    for (const std::string& input : {justTooLong + "\n", justTooLong + "z", "#\n" + std::string(10 << 20, 'w') + "\n"}) {
        Scratch dir;
        writeFile(dir / "qxc_temp.txt", input);
        Outcome run = runTool(dir.path, {});
        EXPECT_EQ(1, run.status);
        EXPECT_EQ("Record too long: line 2 of QXC_TEMP.TXT \n", run.err);
        EXPECT_TRUE(sameBytes(input, readFile(dir / "QXC_TEMP.TXT")));
        EXPECT_EQ("", readFile(dir / "QXC_TEMP.$$$"));
    }
}

// A link under the output work file's name is replaced, never written through: not at
// level 0, not at a debug level, not in a refused run, and a dangling one creates nothing.
TEST(Surroundings, NoWorkFileThroughALink)
{
    if (isWindowsBuild())
        GTEST_SKIP() << "links to files elsewhere are tried natively";
    for (std::string level : {"/t0", "/t1", "/t0 over the record limit", "/t0 dangling"}) {
        Scratch dir, elsewhere;
        if (level.find("dangling") == std::string::npos)
            writeFile(elsewhere / "victim", "precious");
        symlink((elsewhere / "victim").c_str(), (dir / "QXC_TEMP.$$$").c_str());
        writeFile(dir / "qxc_temp.txt", level.find("limit") == std::string::npos ? "hq\n" : std::string(50001, '\n'));
        Outcome run = runTool(dir.path, {level.substr(0, 3)});
        EXPECT_EQ(level.find("limit") == std::string::npos ? 0 : 1, run.status) << level;
        EXPECT_EQ(level.find("dangling") == std::string::npos ? "precious" : "", readFile(elsewhere / "victim")) << level;
        EXPECT_EQ(level.find("dangling") == std::string::npos, exists(elsewhere / "victim")) << level;
    }
}

// An exchange file that is a FIFO or a device is refused as a directory is, at once, and
// left under its name.
TEST(Surroundings, OnlyARegularExchangeFile)
{
    if (isWindowsBuild())
        GTEST_SKIP() << "Windows has no FIFOs, and no devices under a file's name";
    for (bool fifo : {true, false}) {
        Scratch dir;
        fifo ? mkfifo((dir / "qxc_temp.txt").c_str(), 0644) : symlink("/dev/zero", (dir / "qxc_temp.txt").c_str());
        Outcome run = runTool(dir.path, {}, {-1, 5000000});
        EXPECT_EQ(255, run.status);
        EXPECT_EQ("Cannot open file: QXC_TEMP.TXT \n", run.err);
        EXPECT_EQ(std::vector<std::string>{"qxc_temp.txt"}, listDir(dir.path));
    }
}

// A link under a renaming name is none of the tool's leftovers: not taken for the host's
// records, and replaced, never followed, like a dangling link under a name to keep to.
TEST(Surroundings, LinksUnderTheRenamingNames)
{
    if (isWindowsBuild())
        GTEST_SKIP() << "links to files elsewhere are tried natively";
    Scratch dir, elsewhere;
    writeFile(elsewhere / "foreign", "hq\n");
    symlink((elsewhere / "foreign").c_str(), (dir / "QXC_x2x2.$$").c_str());
    Outcome alone = runTool(dir.path, {});
    EXPECT_EQ("255 Cannot open file: QXC_TEMP.TXT \n", std::to_string(alone.status) + " " + alone.err);
    writeFile(dir / "qxc_temp.txt", "hq\n");
    writeFile(dir / "QXC_x2x2.$$$", "#left\n");
    symlink("nowhere", (dir / "QXC_KEEP.001").c_str());
    EXPECT_EQ(0, runTool(dir.path, {}).status);
    EXPECT_EQ("#left\n", readFile(dir / "QXC_KEEP.002"));
    EXPECT_EQ("hq\n", readFile(elsewhere / "foreign"));
}

// A closed descriptor 0 to 2 is no place for a run file: the traces of /t5, more than the
// console's buffer holds, stay out of the command stream whether standard output alone or
// all three are closed (Wine itself cannot start without the three).
TEST(Surroundings, ClosedStandardStreams)
{
    const std::string input = lineRecords(100);
    Scratch reference;
    writeFile(reference / "qxc_temp.txt", input);
    ASSERT_EQ(0, runTool(reference.path, {"/t5"}).status);
    for (int closed : {1 << 1, isWindowsBuild() ? 1 << 1 : 7}) {
        Scratch dir;
        writeFile(dir / "qxc_temp.txt", input);
        EXPECT_EQ(0, runTool(dir.path, {"/t5"}, {-1, -1, closed}).status);
        EXPECT_EQ(readFile(reference / "QXC_TEMP.$$$"), readFile(dir / "QXC_TEMP.$$$")) << closed;
        EXPECT_EQ(input, readFile(dir / "QXC_TEMP.TXT")) << closed;
    }
}

// An exchange file its user cannot write is not replaced: the output stays beside it. Run
// by a user without rights over the file, as root may write any file (under Wine the
// read-only attribute binds root too).
TEST(Surroundings, AReadOnlyExchangeFileIsKept)
{
    Scratch dir;
    chmod(dir.path.c_str(), 0777);
    writeFile(dir / "qxc_temp.txt", "hq\n");
    chmod((dir / "qxc_temp.txt").c_str(), 0444);
    Outcome run = runTool(dir.path, {}, {-1, -1, 0, !isWindowsBuild()});
    EXPECT_EQ(255, run.status);
    EXPECT_EQ("Cannot open file: QXC_TEMP.TXT \n", run.err);
    EXPECT_EQ("hq\n", readFile(dir / "QXC_TEMP.TXT"));
    EXPECT_EQ("hd\r\n" + RESTORE, readFile(dir / "QXC_TEMP.$$$"));
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
        bool done = exists(dir / "QXC_TEMP.TXT") && readFile(dir / "QXC_TEMP.TXT") == output;
        EXPECT_EQ(1, hostCopies(dir, input) + done) << "killed after " << runMicros * step / 50 << " us";
    }
    EXPECT_GT(killed, 0);
    std::printf("[ killed %d runs, %d completed; a whole run takes %ld us ]\n", killed, completed, runMicros);
}

// A later rename of the take-over fails: the host's records go back under its name by a
// rename; failing that, by a copy; failing that too, or where the host has written a newer
// file meanwhile (which stays), a message names the file they are in.
TEST(Faults, RecordsThatCannotBePutBackStayWhole)
{
    if (isWindowsBuild())
        GTEST_SKIP() << "strace injects faults into native runs only";
    struct Road {
        std::vector<std::string> fail;  // strace's injections
        bool newer;                     // a new qxc_temp.txt is written while the rename fails
        std::string err;
        std::map<std::string, std::string> files;  // what the folder holds after
    };
    const std::string later = "inject=rename:error=EIO:when=2+";
    const std::string kept = "Records kept in: QXC_x2x2.$$ \n";
    for (const Road& road : std::vector<Road>{
             {{later}, false, "", {{"qxc_temp.txt", "hq\n"}}},
             {{later, "inject=renameat2:error=EIO:when=1"}, false, "", {{"QXC_x2x2.$$", "hq\n"}, {"qxc_temp.txt", "hq\n"}}},
             {{later, "inject=renameat2:error=EIO"}, false, kept, {{"QXC_x2x2.$$", "hq\n"}}},
             {{"inject=rename:error=EIO:delay_exit=1000000:when=2+"}, true, kept,
              {{"QXC_x2x2.$$", "hq\n"}, {"qxc_temp.txt", "new\n"}}}}) {
        Scratch dir;
        writeFile(dir / "qxc_temp.txt", "hq\n");
        // Only the calls on these files are traced, and so only they fail.
        std::vector<std::string> strace = {"strace", "-o", "/dev/null", "-e", "trace=openat,rename,renameat2"};
        for (const char* name : {"qxc_temp.txt", "QXC_x2x2.$$", "QXC_x2x2.$$$", "QXC_COPY.$$$"})
            strace.insert(strace.end(), {"-P", name});
        for (const std::string& fault : road.fail)
            strace.insert(strace.end(), {"-e", fault});
        if (road.newer)
            strace.insert(strace.begin(), {"sh", "-c",
                                           "\"$@\" & i=0; until [ -e 'QXC_x2x2.$$' ] || [ $i = 500 ]; do sleep 0.01; i=$((i+1)); done; "
                                           "echo new > qxc_temp.txt; wait $!",
                                           "sh"});
        Outcome run = runWrapped(dir.path, strace, {});
        // strace's own note on each path it resolved
        while (run.err.rfind("strace: ", 0) == 0)
            run.err.erase(0, run.err.find('\n') + 1);
        EXPECT_EQ(255, run.status);
        EXPECT_EQ("Cannot open file: QXC_x2x2.$$$ \n" + road.err, run.err);
        std::map<std::string, std::string> found;
        for (const std::string& name : listDir(dir.path))
            found[name] = readFile(dir / name);
        EXPECT_EQ(road.files, found);
    }
}

// The give-back's copy killed at any write or close: never a part under the host's name.
TEST(Faults, AGiveBackKilledLeavesNoPart)
{
    if (isWindowsBuild())
        GTEST_SKIP() << "strace injects faults into native runs only";
    const std::string input = lineRecords(16000);
    for (const char* call : {"write", "close"})
        for (int nth = 1; nth <= 6; ++nth) {
            Scratch dir;
            writeFile(dir / "qxc_temp.txt", input);
            Outcome run = runWrapped(dir.path,
                                     {"strace", "-o", "/dev/null", "-e", "inject=rename:error=EIO:when=2+", "-e",
                                      "inject=renameat2:error=EIO:when=1", "-e",
                                      std::string("inject=") + call + ":signal=KILL:when=" + std::to_string(nth)},
                                     {});
            bool whole = exists(dir / "qxc_temp.txt") && readFile(dir / "qxc_temp.txt") == input;
            EXPECT_TRUE(whole || !exists(dir / "qxc_temp.txt")) << call << nth;
            EXPECT_TRUE(whole || readFile(dir / "QXC_x2x2.$$") == input) << call << nth << " " << run.status;
        }
}

// Every system call a run makes on its files fails in turn (of a kind with more than 40
// calls, a spread of 40): the host finds its own records under one name, or the complete
// output; status 0 only with the complete output; every other status says why. At /t1 the
// complete output is "QXC_TEMP.$$$" beside the host's untouched records.
TEST(Faults, EachFailingSystemCallLosesNothing)
{
    if (isWindowsBuild())
        GTEST_SKIP() << "strace injects faults into native runs only";
    const std::string input = lineRecords(16000);  // some 300 KB: several reads
    int injected = 0, broken = 0, falseSuccesses = 0;
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"/t1"}}) {
        Scratch reference;
        writeFile(reference / "qxc_temp.txt", input);
        Outcome clean;
        std::vector<Call> calls = traceCalls(reference.path, args,
                                             "read,write,openat,close,rename,renameat,renameat2,fstat,newfstatat,"
                                             "lseek,unlink,unlinkat",
                                             &clean);
        ASSERT_EQ(0, clean.status) << "a traced run (is strace installed?): " << clean.err;
        const std::string result = args.empty() ? "QXC_TEMP.TXT" : "QXC_TEMP.$$$";
        const std::string output = readFile(reference / result);
        std::map<std::string, std::vector<Call>> onRunFiles;
        for (const Call& call : calls)
            if (call.line.find(reference.path + "/") != std::string::npos ||
                call.line.find("\"QXC") != std::string::npos || call.line.find("\"qxc") != std::string::npos)
                onRunFiles[call.name].push_back(call);
        for (auto& [name, all] : onRunFiles) {
            for (std::size_t i = 0, n = std::min<std::size_t>(all.size(), 40); i < n; ++i) {
                const Call& call = all[n == all.size() ? i : i * (all.size() - 1) / (n - 1)];
                Scratch dir;
                writeFile(dir / "qxc_temp.txt", input);
                Outcome run = runWithFault(dir.path, args, call);
                ++injected;
                bool complete = readFile(dir / result) == output &&
                                (args.empty() || readFile(dir / "QXC_TEMP.TXT") == input);
                std::string found = exists(dir / "QXC_TEMP.TXT") ? readFile(dir / "QXC_TEMP.TXT") : input;
                if ((found != input && found != output) || (hostCopies(dir, input) != 1 && !complete)) {
                    ++broken;
                    ADD_FAILURE() << "a broken exchange file, status " << run.status << ", with " << call.line;
                }
                // The count's reads and the reader's: never taken for the end of the file.
                if (name == "read" && call.line.find("/QXC_TEMP.TXT>") != std::string::npos) {
                    EXPECT_EQ("1 Cannot read file: QXC_TEMP.TXT \n", std::to_string(run.status) + " " + run.err);
                }
                // Every failure ends with one of the two statuses the host knows.
                bool known = run.status == 0 || run.status == 1 || run.status == 255;
                if ((run.status == 0 && !complete) || (run.status != 0 && run.err.empty()) || !known) {
                    ++falseSuccesses;
                    ADD_FAILURE() << "status " << run.status << " \"" << run.err << "\" with " << call.line;
                }
            }
        }
    }
    std::printf("[ %d injected faults: %d broken files, %d false successes, silent failures or unknown statuses ]\n",
                injected, broken, falseSuccesses);
}
