// The host's stand-in, run as a process on drawings, with the real tool and with a failing one.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "tool.h"

namespace {

const std::string DRAWING =
    "# two walls\n"
    "lc2\n"
    " 0 0 100 0\n"
    " 0 0 0 100\n"
    "lc3\n"
    " 100 0 0 0\n";

// Whether the process `pid` has ended: gone, or dead and not reaped. A process killed while
// in the kernel may take a moment to end.
bool ended(int pid)
{
    std::string stat;
    for (int tries = 0; tries < 50; ++tries) {
        stat = readFile("/proc/" + std::to_string(pid) + "/stat");
        if (stat.empty() || stat.find(") Z ") != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

}  // namespace

TEST(Host, OnlyTheSelectedLinesComeBackTurned)
{
    Scratch dir;
    writeFile(dir / "drawing.txt", DRAWING);
    // The switches reach the tool (the last angle counts), and its level-3 traces on standard
    // output stay out of the stand-in's summary.
    Outcome run = runTool(dir.path, {"drawing.txt", "--at", "1,1", "--select", "3,6", "-o", "new.txt", "--svg", "p.svg",
                                     "--", "/p", "/p20", "/t3"});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("# two walls\n"
              "lc2\n"
              " 0 0 93.969262078591 34.202014332567 \n"
              " 0 0 0 100\n"
              "lc3\n"
              " 0 0 93.969262078591 34.202014332567 \n",
              readFile(dir / "new.txt"));
    EXPECT_EQ("2 lines selected, 2 turned by 20 degrees, 0 dropped (their ends coincide)\n"
              "pivots: 2 first end, 0 midpoint, 0 second end\n"
              "runs of the tool: 1\n"
              "attributes restored: lg14 ly14 lt20 lc2\n",
              run.out);
    // Each turned line in the colour of its own "lc": colour 2 red, colour 3 green.
    std::string svg = readFile(dir / "p.svg");
    for (const char* colour : {"#d62728", "#2ca02c"})
        EXPECT_NE(std::string::npos, svg.find("x2=\"703.2362902\" y2=\"508.9516253\" stroke=\"" + std::string(colour))) << colour;
    // A summary that cannot be written (standard output closed) is status 4, and then, as for
    // every status but 0, no file is changed.
    Outcome unsaid = runTool(dir.path, {"drawing.txt", "--at", "1,1", "-o", "new2.txt"}, Limits{-1, -1, 1 << 1, false});
    EXPECT_EQ(4, unsaid.status) << unsaid.err;
    EXPECT_NE(std::string::npos, unsaid.err.find("cannot write the summary")) << unsaid.err;
    EXPECT_FALSE(exists(dir / "new2.txt"));
}

// Command lines, tools and drawings the stand-in refuses or answers without writing -o, and
// what it says: a record that is no drawing's is quoted in part (a file that is no drawing may
// be one long line); one line in the place of one, a line returned twice being no answer.
TEST(Host, WhatItRefusesLeavesTheDrawingAndSaysWhy)
{
    struct Case {
        std::string drawing;
        std::vector<std::string> args;
        int status;
        std::string says;
    } cases[] = {
        {"drawing.txt", {"--select", "4294967302"}, 2, "--select: takes line numbers"},
        {"drawing.txt", {"--select", "2x"}, 2, "--select: takes line numbers"},
        {"drawing.txt", {"--at", "1,2junk"}, 2, "--at: takes X,Y"},
        {"drawing.txt", {"--timeout", "abc"}, 2, "--timeout: takes a positive number"},
        {"drawing.txt", {"--timeout", "0"}, 2, "--timeout: takes a positive number"},
        {"drawing.txt", {"--layer", "walls"}, 2, "--layer and --handle are for DXF drawings"},
        {"drawing.txt", {"--tool", "/nonexistent"}, 1, "the tool /nonexistent cannot be started: No such file or directory"},
        {"drawing.txt", {"--version"}, 0, "linetilt-host "},
        {"drawing.txt", {"--help"}, 0, "--timeout"},
        {"drawing.txt", {"--tool", "./refuse.sh"}, 1,
         "linetilt-host: the tool failed (status 1); the drawing is left as it was\n"
         "linetilt-host: the tool says: he  要素数オーバー    MAX=50000\n"},
        {"far.txt", {}, 1, "for the line at far.txt:3, which the host cannot take"},
        {"far.txt", {"--tool", "./twice.sh"}, 1, "the tool returned 2 lines for the line at far.txt:2"},
        {"long.txt", {}, 3, "long.txt:2: not a record of a drawing: xxxxxxxxxx"},
        {"tail.txt", {}, 3, "tail.txt:2: not a record of a drawing:  10 0 60 0"},
        {"word.txt", {}, 3, "word.txt:1: not a record of a drawing:  0 0 5 5 wall"},
    };
    Scratch dir;
    writeFile(dir / "drawing.txt", DRAWING);
    writeFile(dir / "far.txt", "# keep me\n 0 0 10 0\n 1e200 1 2 3\n");
    writeFile(dir / "long.txt", "# fine\n" + std::string(100000, 'x') + "\n");
    // More after a line's four numbers, which its turned record would lose: a word, or the
    // next line after a CR that is no line end here.
    writeFile(dir / "tail.txt", "# fine\n 10 0 60 0\r 1 1 2 2\n");
    writeFile(dir / "word.txt", " 0 0 5 5 wall\n");
    writeScript(dir / "refuse.sh",
                "printf 'he  \\227\\166\\221\\146\\220\\224\\203\\111\\201\\133\\203\\157\\201\\133    MAX=50000\\r\\n'"
                " > 'QXC_TEMP.$$$'\nexit 1\n");
    writeScript(dir / "twice.sh", "printf 'hd\\r\\n#linetilt-host line 2\\r\\n 0 0 9 1\\r\\n 0 0 9 1\\r\\n' > QXC_TEMP.TXT\n");
    for (const auto& c : cases) {
        std::vector<std::string> args = {c.drawing, "--at", "0,0", "-o", "new.txt"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Outcome run = runTool(dir.path, args);
        EXPECT_EQ(c.status, run.status) << c.drawing << " " << c.args.size();
        EXPECT_NE(std::string::npos, (run.out + run.err).find(c.says)) << run.out << run.err;
        EXPECT_LT(run.err.size(), 200u) << c.drawing << " " << c.args.size();
        EXPECT_FALSE(exists(dir / "new.txt")) << c.drawing << " " << c.args.size();
    }
    EXPECT_EQ(DRAWING, readFile(dir / "drawing.txt"));
}

// Each kind of -o target, and what it holds afterwards: a file or FIFO behind standard output
// is written through it (an append stays an append), a file keeps its mode and owner, a link
// stays and the file it leads to is replaced or made, a FIFO stays a FIFO.
TEST(Host, EachKindOfOutputTargetIsWrittenAsItsKindAsks)
{
    Scratch dir;
    writeFile(dir / "d.txt", DRAWING);
    ASSERT_EQ(0, runTool(dir.path, {"d.txt", "--at", "1,1", "-o", "plain.txt"}).status);
    const std::string drawing = readFile(dir / "plain.txt");
    std::filesystem::create_directory(dir / "elsewhere");
    const bool root = geteuid() == 0;
    // A log the drawing is appended to, through the stand-in's standard output or descriptor 3.
    auto appended = [&](const std::string& log) { return [&dir, log] { writeFile(dir / log, "keep me\n"); }; };
    const std::string logged = "keep me\n" + drawing;
    struct Case {
        std::string target;
        std::function<void()> before;
        std::string holder, holds;  // the file that holds the drawing afterwards, and its bytes
        std::function<bool()> kept = [] { return true; };  // whether the target is as it was
        std::string redirect = "";  // of the stand-in's descriptors, by the shell that starts it
        std::string as = "";        // else: the shell's command that starts the stand-in, "$0"
    } cases[] = {
        {"/dev/stdout", appended("log.txt"), dir / "log.txt", logged, [] { return true; }, ">> log.txt"},
        {"-", appended("log2.txt"), dir / "log2.txt", logged, [] { return true; }, ">> log2.txt"},
        {"/dev/fd/3", appended("log3.txt"), dir / "log3.txt", logged, [] { return true; }, "3>> log3.txt"},
        {"/proc/thread-self/fd/3", appended("log4.txt"), dir / "log4.txt", logged, [] { return true; }, "3>> log4.txt"},
        // Opened for writing, not appending: the new drawing, and no tail of the file's before.
        {"/dev/fd/3", [&] { writeFile(dir / "long.txt", logged + std::string(5000, '#')); }, dir / "long.txt", drawing,
         [] { return true; }, "3<> long.txt"},
        {"private.txt",
         [&] {
             writeFile(dir / "private.txt", "old");
             chmod((dir / "private.txt").c_str(), 01600);  // the sticky bit too
             EXPECT_TRUE(!root || chown((dir / "private.txt").c_str(), 65534, 65534) == 0);
         },
         dir / "private.txt", drawing,
         [&] {
             struct stat status;
             return stat((dir / "private.txt").c_str(), &status) == 0 && (status.st_mode & 07777) == 01600 &&
                    (!root || (status.st_uid == 65534 && status.st_gid == 65534));
         }},
        // A user's own program with its set-id bits, replaced by that user (not root: the
        // writing takes the bits away).
        {"setid.txt",
         [&] {
             writeFile(dir / "setid.txt", "old");
             EXPECT_TRUE(!root || (chown((dir / "setid.txt").c_str(), 65534, 65534) == 0 &&
                                   chmod(dir.path.c_str(), 0777) == 0));
             chmod((dir / "setid.txt").c_str(), 06755);
         },
         dir / "setid.txt", drawing,
         [&] {
             struct stat status;
             chmod(dir.path.c_str(), 0700);
             std::filesystem::remove_all(dir / "bin");
             return stat((dir / "setid.txt").c_str(), &status) == 0 && (status.st_mode & 07777) == 06755;
         },
         "",
         // Run from a copy beside the drawing: the build's folder may be closed to nobody.
         root ? "mkdir bin && cp \"$0\" \"$(dirname \"$0\")/linetilt\" bin/ && chmod 755 bin && "
                "exec setpriv --reuid=65534 --regid=65534 --clear-groups bin/\"$(basename \"$0\")\" \"$@\""
              : ""},
        {"link.txt",
         [&] {
             writeFile(dir / "elsewhere/kept.txt", "old");
             std::filesystem::create_symlink("elsewhere/kept.txt", dir / "link.txt");
         },
         dir / "elsewhere/kept.txt", drawing, [&] { return std::filesystem::is_symlink(dir / "link.txt"); }},
        {"dangling.txt", [&] { std::filesystem::create_symlink("elsewhere/made.txt", dir / "dangling.txt"); },
         dir / "elsewhere/made.txt", drawing, [&] { return std::filesystem::is_symlink(dir / "dangling.txt"); }},
    };
    for (const auto& c : cases) {
        c.before();
        std::vector<std::string> args = {"d.txt", "--at", "1,1", "-o", c.target};
        Outcome run = c.redirect.empty() && c.as.empty()
                          ? runTool(dir.path, args)
                          : runWrapped(dir.path,
                                       {"bash", "-c", c.as.empty() ? "exec \"$0\" \"$@\" " + c.redirect : c.as}, args);
        EXPECT_EQ(0, run.status) << c.target << ": " << run.err;
        EXPECT_EQ(c.holds, c.holder.empty() ? "" : readFile(c.holder)) << c.target;
        EXPECT_TRUE(c.kept()) << c.target;
        // With the drawing on standard output, the summary goes with the messages.
        EXPECT_EQ(c.redirect.rfind(">>", 0) == 0, run.err.find("lines selected") != std::string::npos) << c.target;
    }
    EXPECT_EQ((std::vector<std::string>{"kept.txt", "made.txt"}), listDir(dir / "elsewhere"));
    // An empty name would write nothing: refused.
    Outcome run = runTool(dir.path, {"d.txt", "--at", "1,1", "-o", ""});
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find("-o: takes a file name")) << run.err;
    EXPECT_EQ((std::vector<std::string>{"d.txt", "dangling.txt", "elsewhere", "link.txt", "log.txt", "log2.txt",
                                        "log3.txt", "log4.txt", "long.txt", "plain.txt", "private.txt", "setid.txt"}),
              listDir(dir.path));
}

// Every kind of output target, with a write that fails (a file size limit, /dev/full) and
// without. A regular file, wherever it lies (/dev/shm, through /proc/self/cwd, a directory
// under /dev/shm), holds the whole new drawing or what it held, with no side file left; -o
// and --svg are both whole or both as they were; a device or a FIFO is written into; an
// output that is the drawing, or both outputs one file, is refused before the tool runs.
TEST(Host, EveryOutputTargetIsWholeOrAsItWas)
{
    Scratch dir;
    struct SharedDir {  // in memory where the system has /dev/shm, else one more scratch directory
        std::string path = std::filesystem::is_directory("/dev/shm")
                               ? "/dev/shm/linetilt-test-" + std::to_string(getpid())
                               : Scratch().path + "-shm";
        SharedDir() { std::filesystem::create_directory(path); }
        ~SharedDir() { std::filesystem::remove_all(path); }
        std::string operator/(const std::string& name) const { return path + "/" + name; }
    } shm;
    std::string lines;
    for (int i = 0; i < 2000; ++i)
        lines += " 0 0 100 " + std::to_string(i) + "\n";
    // Under a limit of 400 kB: the exchange file and the tool's answer fit, the new drawing of
    // d.txt does not, that of small.txt does but not its picture.
    const std::string big = "# " + std::string(350000, 'x') + "\n" + lines;
    const long limit = 400000;
    writeFile(dir / "small.txt", lines);
    writeFile(dir / "d.txt", big);
    ASSERT_EQ(0, runTool(dir.path, {"d.txt", "--at", "0,0", "-o", "new-d.txt"}).status);
    ASSERT_EQ(0, runTool(dir.path, {"small.txt", "--at", "0,0", "-o", "new-small.txt"}).status);
    const std::string newBig = readFile(dir / "new-d.txt"), newSmall = readFile(dir / "new-small.txt");
    ASSERT_GT(newBig.size(), limit);
    const std::string none = "(none)";  // the target is not there
    const std::string longest(255, 'n');
    struct Case {
        std::string where;  // the directory the stand-in runs in
        std::vector<std::string> args;
        std::string target, old;  // the file looked at, and what it holds before
        int status, limitedStatus;
        std::string whole;  // what the target holds after a run of status 0: "" as before, "(any)" something
        std::string said = "";
    } cases[] = {
        {dir.path, {"d.txt", "-o", shm / "out.txt"}, shm / "out.txt", "old", 0, 4, newBig, "File too large"},
        {dir.path, {"d.txt", "-o", "/proc/self/cwd/out.txt"}, dir / "out.txt", "old", 0, 4, newBig},
        {shm.path, {"d.txt", "-o", "new.txt"}, shm / "new.txt", none, 0, 4, newBig},
        {dir.path, {"d.txt", "-o", "d.txt"}, dir / "d.txt", big, 0, 4, newBig},
        {dir.path, {"small.txt", "-o", "o.txt", "--svg", "o.svg"}, dir / "o.txt", "old", 0, 4, newSmall},
        {dir.path, {"small.txt", "-o", "o.txt", "--svg", "o.svg"}, dir / "o.svg", none, 0, 4, "(any)"},
        {dir.path, {"d.txt", "--svg", "d.txt"}, dir / "d.txt", big, 2, 2, "", "--svg d.txt is the drawing d.txt"},
        {dir.path, {"d.txt", "--svg", "./link"}, dir / "d.txt", big, 2, 2, "", "is the drawing"},
        {dir.path, {"d.txt", "-o", "x.txt", "--svg", "./x.txt"}, dir / "x.txt", none, 2, 2, "", "are one file"},
        {dir.path, {"d.txt", "-o", "-", "--svg", "/dev/stdout"}, "", "", 2, 2, "", "are one file"},
        {dir.path, {"d.txt", "-o", "/dev/null", "--svg", "/dev/null"}, "/dev/null", "", 0, 0, ""},
        {dir.path, {"d.txt", "-o", "/dev/full"}, "/dev/full", "", 4, 4, "", "No space left on device"},
        {dir.path, {"d.txt", "-o", "fifo"}, dir / "fifo.read", none, 0, 0, newBig},
        {dir.path, {"d.txt", "-o", "socket"}, dir / "socket.read", none, 0, 0, newBig},
        // A folder, or a link to one, is refused before anything is written; so is a picture
        // onto a drawing named "-", which is a file, not standard output.
        {dir.path, {"d.txt", "-o", "d.txt", "--svg", "folder"}, dir / "d.txt", big, 2, 2, "", "is a folder"},
        {dir.path, {"-", "-o", "out.txt", "--svg", "./-"}, dir / "-", big, 2, 2, "", "is the drawing"},
        // A name at the system's limit: the side file's must fit too.
        {dir.path, {"d.txt", "-o", longest}, dir / longest, "old", 0, 4, newBig, "File too large"},
    };
    std::filesystem::create_symlink("d.txt", dir / "link");
    std::filesystem::create_directory(dir / "folder");
    writeFile(dir / "-", big);
    ASSERT_EQ(0, mkfifo((dir / "fifo").c_str(), 0644));
    int listening = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::string socketName = dir / "socket";
    ASSERT_LT(socketName.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketName.c_str(), socketName.size() + 1);
    ASSERT_EQ(0, bind(listening, reinterpret_cast<const struct sockaddr*>(&address), sizeof address));
    ASSERT_EQ(0, listen(listening, 1));
    for (const auto& c : cases)
        for (bool limited : {false, true}) {
            std::string name = c.args[2] + (c.args.size() > 3 ? " " + c.args[4] : "") + (limited ? " limited" : "");
            if (c.where == shm.path)
                writeFile(shm / "d.txt", big);
            writeFile(dir / "d.txt", big);
            for (const std::string& made : {shm / "out.txt", shm / "new.txt", dir / "out.txt", dir / "o.txt",
                                            dir / "o.svg", dir / "x.txt", dir / "fifo.read", dir / "socket.read",
                                            dir / longest})
                std::filesystem::remove(made);
            if (c.old != none && c.target.rfind("/dev/", 0) != 0 && c.target != dir / "d.txt")
                writeFile(c.target, c.old);
            // The FIFO's reader, which keeps what it reads in a file.
            std::thread reader;
            if (c.args[2] == "fifo")
                reader = std::thread([&dir] { writeFile(dir / "fifo.read", readFile(dir / "fifo")); });
            if (c.args[2] == "socket")
                reader = std::thread([&dir, listening] {
                    struct pollfd caller = {listening, POLLIN, 0};
                    int from = poll(&caller, 1, 30000) == 1 ? accept(listening, nullptr, nullptr) : -1;
                    std::string got;
                    char piece[65536];
                    for (long n; from >= 0 && (n = read(from, piece, sizeof piece)) > 0;)
                        got.append(piece, static_cast<std::size_t>(n));
                    close(from);
                    writeFile(dir / "socket.read", got);
                });
            std::vector<std::string> args = {c.args[0], "--at", "0,0"};
            args.insert(args.end(), c.args.begin() + 1, c.args.end());
            Outcome run = runTool(c.where, args, Limits{limited ? limit : -1});
            if (reader.joinable())
                reader.join();
            bool whole = run.status == 0;
            EXPECT_EQ(limited ? c.limitedStatus : c.status, run.status) << name << ": " << run.err;
            if (!whole) {
                EXPECT_NE(std::string::npos, run.err.find(c.said)) << name << ": " << run.err;
            }
            if (c.target.rfind("/dev/", 0) != 0 && !c.target.empty()) {
                const std::string expected = whole && !c.whole.empty() ? c.whole : c.old;
                EXPECT_EQ(expected != none, exists(c.target)) << name;
                if (expected != none && expected != "(any)") {
                    EXPECT_TRUE(sameBytes(expected, readFile(c.target))) << name;
                }
            }
            if (c.args[2] == "-") {
                EXPECT_EQ("", run.out) << name;
            }
            for (const std::string& place : {dir.path, shm.path})
                for (const std::string& file : listDir(place))
                    EXPECT_EQ(std::string::npos, file.find(".new-")) << name << ": " << file << " left in " << place;
        }
    close(listening);
}

// What the names lead to is looked at again when the outputs are written: a target changed
// while the tool runs is not written as what it was (a device swapped for a regular file, a
// file for a FIFO), and a picture whose name has come to lead to the drawing is refused.
TEST(Host, TargetsChangedDuringTheRunAreLookedAtAgain)
{
    Scratch dir;
    writeFile(dir / "d.txt", DRAWING);
    writeFile(dir / "victim.txt", "keep me\n");
    struct Case {
        std::string before, during;  // shell commands, before the run and a moment into it
        std::vector<std::string> outputs;
        int status;
        std::string says;
    } cases[] = {
        {"ln -sfn /dev/null out", "ln -sfn victim.txt out", {"-o", "out"}, 4, "has become a regular file"},
        {"rm -f f; echo old > f", "rm f; mkfifo f", {"-o", "f"}, 4, "is no longer a regular file"},
        {"rm -f p.svg", "ln -s d.txt p.svg", {"--svg", "p.svg"}, 2, "is the drawing d.txt"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"d.txt", "--at", "0,0", "--tool", "./slow.sh"};
        args.insert(args.end(), c.outputs.begin(), c.outputs.end());
        // The tool beside the stand-in, a second late.
        std::string slow = "printf '#!/bin/sh\\nsleep 1\\nexec \"%s\" \"$@\"\\n' \"$(dirname \"$0\")/linetilt\" > slow.sh; "
                           "chmod +x slow.sh; ";
        Outcome run = runWrapped(dir.path,
                                 {"bash", "-c", slow + c.before + "; \"$0\" \"$@\" & sleep 0.4; " + c.during + "; wait $!"}, args);
        EXPECT_EQ(c.status, run.status) << c.during << ": " << run.err;
        EXPECT_NE(std::string::npos, run.err.find(c.says)) << c.during << ": " << run.err;
        EXPECT_EQ("keep me\n", readFile(dir / "victim.txt")) << c.during;
        EXPECT_EQ(DRAWING, readFile(dir / "d.txt")) << c.during;
    }
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "f"));
}

// However the run is stopped, the tool ends with every process it started, the scratch
// directories go and nothing is written, and the status and message say why: the time limit
// or a signal while the tool runs, any that would end the process (SIGPIPE: a failed write); SIGCHLD ignored, so that how the tool ended cannot be
// learnt; a file size limit with SIGXFSZ at its default, met by the stand-in's write or by the tool's.
TEST(Host, HoweverTheRunIsStoppedNothingIsLeftBehind)
{
    Scratch dir, temporary;
    std::string drawing;
    for (int i = 0; i < 300; ++i)
        drawing += " 0 0 100 " + std::to_string(i) + "\n";  // some 11 KiB of exchange file, 27 KiB of answer
    writeFile(dir / "d.txt", drawing);
    writeScript(dir / "slow.sh", "sleep 60 &\necho $! > " + (dir / "child") + "\nwait\n");
    const std::vector<std::string> args = {"d.txt", "--at", "0,0", "-o", "new.txt"};
    auto slow = args;
    slow.insert(slow.end(), {"--tool", "./slow.sh"});
    struct Case {
        std::string surroundings;  // of the stand-in, under bash, which starts it
        int status;
        std::string says;
        bool slowTool = true;
    };
    // Job control, so that the stand-in in the background does not start with SIGINT ignored.
    auto killed = [](int signal) {
        return Case{"set -m; \"$0\" \"$@\" & until [ -s child ]; do sleep 0.02; done; kill -" + std::to_string(signal) +
                        " $!; wait $!",
                    128 + signal, "stopped by signal " + std::to_string(signal)};
    };
    const Case cases[] = {
        {"exec \"$0\" \"$@\" --timeout 0.5", 1, "stopped after the time limit"},
        killed(SIGINT), killed(SIGTERM), killed(SIGHUP), killed(SIGQUIT), killed(SIGUSR1), killed(SIGALRM),
        {killed(SIGPIPE).surroundings, 4, "an output's reader has gone"},
        {"trap - XFSZ; trap '' CHLD; exec \"$0\" \"$@\"", 1, "cannot learn how the tool ended: No child processes", false},
        {"trap - XFSZ; ulimit -f 4; exec \"$0\" \"$@\"", 1, "qxc_temp.txt: File too large", false},
        {"trap - XFSZ; ulimit -f 16; exec \"$0\" \"$@\"", 1, "its messages: Cannot write file: QXC_TEMP.$$$ ", false},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(dir / "child");
        // Its scratch directories go into `temporary`.
        Outcome run = runWrapped(dir.path, {"bash", "-c", "export TMPDIR='" + temporary.path + "'; " + c.surroundings},
                                 c.slowTool ? slow : args);
        EXPECT_EQ(c.status, run.status) << c.surroundings << ": " << run.err;
        EXPECT_NE(std::string::npos, run.err.find(c.says)) << c.surroundings << ": " << run.err;
        EXPECT_FALSE(exists(dir / "new.txt")) << c.surroundings;
        EXPECT_TRUE(listDir(temporary.path).empty()) << c.surroundings << ": " << run.err;
        if (c.slowTool) {
            int child = std::atoi(readFile(dir / "child").c_str());
            ASSERT_GT(child, 0);
            EXPECT_TRUE(ended(child)) << c.surroundings;
        }
    }
#if !defined(__SANITIZE_ADDRESS__)  // whose runtime must be the first library loaded
    // The deadline passes between its check and the wait worked out from it (under a clock
    // that leaps a second at each read, 1.5 s of the 2.5 left after the start): the wait is
    // then none, never for ever.
    writeScript(dir / "sleepy.sh", "sleep 8\n");
    auto start = std::chrono::steady_clock::now();
    Outcome run = runWrapped(dir.path, {"env", std::string("LD_PRELOAD=") + LEAPING_CLOCK},
                             {"d.txt", "--at", "0,0", "--tool", "./sleepy.sh", "--timeout", "2.5"});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("stopped after the time limit")) << run.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
#endif
}

// A signal while the new drawing waits for a FIFO's reader, or for room in a FIFO or a pipe
// nobody reads, ends the run at once: its status, the target as it was, no scratch directory
// left. A run that goes on is killed after 10 s, which the status then shows.
TEST(Host, ASignalWhileWritingEndsTheRun)
{
    Scratch dir, temporary;
    std::string drawing = "# " + std::string(300000, 'x') + "\n";  // more than a pipe holds
    for (int i = 0; i < 300; ++i)
        drawing += " 0 0 100 " + std::to_string(i) + "\n";
    writeFile(dir / "d.txt", drawing);
    struct Case {
        std::string writing;  // how the stand-in is started, in the background
        int signal, status;
    } cases[] = {
        {"\"$0\" \"$@\" -o f", SIGTERM, 128 + SIGTERM},
        {"\"$0\" \"$@\" -o f", SIGINT, 128 + SIGINT},
        {"\"$0\" \"$@\" -o f", SIGHUP, 128 + SIGHUP},
        {"exec 3<>f; \"$0\" \"$@\" -o f", SIGQUIT, 128 + SIGQUIT},
        {"exec 3<>f; \"$0\" \"$@\" -o - > f", SIGTERM, 128 + SIGTERM},
        {"exec 3<>f; \"$0\" \"$@\" -o - > f", SIGPIPE, 4},
        // Reading a drawing that never makes the read wait.
        {"\"$0\" /dev/zero --at 0,0 -o f", SIGTERM, 128 + SIGTERM},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(dir / "f");
        std::string script = "set -m; export TMPDIR='" + temporary.path + "'; mkfifo f; " + c.writing +
                             " & p=$!; sleep 1; kill -" + std::to_string(c.signal) +
                             " $p; (sleep 10; kill -9 $p) & g=$!; wait $p; s=$?; kill $g; exit $s";
        Outcome run = runWrapped(dir.path, {"bash", "-c", script}, {"d.txt", "--at", "0,0"});
        EXPECT_EQ(c.status, run.status) << c.writing << " " << c.signal << ": " << run.err;
        EXPECT_TRUE(run.err.find("no file is changed") != std::string::npos ||
                    run.err.find("nothing is written") != std::string::npos)
            << c.writing << ": " << run.err;
        EXPECT_TRUE(std::filesystem::is_fifo(dir / "f")) << c.writing;
        EXPECT_TRUE(listDir(temporary.path).empty()) << c.writing;
    }
    EXPECT_EQ((std::vector<std::string>{"d.txt", "f"}), listDir(dir.path));
}

// Where the memory runs out, at whichever step, the run ends with a message: no scratch
// directory left, the target as it was, the tool stopped (it no longer aborts, leaving them).
TEST(Host, MemoryRunningOutLeavesNothingBehind)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory takes more address space than the limit";
#endif
    Scratch dir, temporary;
    std::string drawing;
    for (int i = 0; i < 60000; ++i)
        drawing += " " + std::to_string(i) + " 0 100 " + std::to_string(i) + "\n";
    writeFile(dir / "d.txt", drawing);
    int short_ = 0;
    for (int kilobytes = 20000; kilobytes <= 90000; kilobytes += 7000) {
        Outcome run = runWrapped(dir.path,
                                 {"bash", "-c", "export TMPDIR='" + temporary.path + "'; ulimit -v " +
                                                    std::to_string(kilobytes) + "; exec \"$0\" \"$@\""},
                                 {"d.txt", "--at", "0,0", "-o", "new.txt"});
        short_ += run.status != 0;
        if (run.status != 0) {
            EXPECT_EQ(1, run.status) << kilobytes << ": " << run.err;
            EXPECT_NE(std::string::npos, run.err.find("not enough memory")) << kilobytes << ": " << run.err;
        }
        EXPECT_EQ(run.status == 0, exists(dir / "new.txt")) << kilobytes;
        EXPECT_TRUE(listDir(temporary.path).empty()) << kilobytes << ": " << run.err;
        std::filesystem::remove(dir / "new.txt");
    }
    EXPECT_GT(short_, 1);
    EXPECT_EQ((std::vector<std::string>{"d.txt"}), listDir(dir.path));
}

// One large attribute before many lines is held once, not once for each line, and written
// into an exchange file once, not again at each change of another: each run fits an address
// space of 150 MB and files of 8 MB, where a copy for each line would take gigabytes. It is
// counted as the tool counts it, one record however long, so that 50000 records go in one run.
TEST(Host, ALargeAttributeIsHeldAndWrittenOnce)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory takes more address space than the limit";
#endif
    struct Case {
        std::string head;
        int lines;
        bool alternate;  // an "lt" of its own before each line
        const char* says;
    } cases[] = {
        {"lc2" + std::string(256 * 1024, ' ') + "\nlt1\n", 24998, false, "24998 turned"},
        // At the tool's limit for one record, with the line type changing at every line: 2 runs.
        {"lc2" + std::string((1 << 20) - 16, ' ') + "\nly3\n", 25000, true, "runs of the tool: 2\n"},
    };
    for (const auto& c : cases) {
        Scratch dir;
        std::string drawing = c.head;
        for (int i = 0; i < c.lines; ++i)  // the first: with hq, the point and the two attributes, 50000 records
            drawing += (c.alternate ? "lt" + std::to_string(1 + i % 2) + "\n" : "") + " 0 0 100 " + std::to_string(i) + "\n";
        writeFile(dir / "d.txt", drawing);
        Outcome run = runWrapped(dir.path, {"bash", "-c", "ulimit -v 150000 -f 8192; exec \"$0\" \"$@\""},
                                 {"d.txt", "--at", "0,0", "-o", "new.txt"});
        EXPECT_EQ(0, run.status) << run.err;
        EXPECT_NE(std::string::npos, run.out.find(c.says)) << run.out;
        EXPECT_NE(std::string::npos, run.out.find(c.alternate ? "lines selected, 25000 turned" : "runs of the tool: 1\n"))
            << run.out;
        // Every record but the lines' is written back as it was, in its place.
        std::string turned = readFile(dir / "new.txt");
        std::size_t from = 0, at = 0;
        for (std::size_t end; (end = drawing.find('\n', from)) != std::string::npos; from = end + 1) {
            std::size_t stop = turned.find('\n', at);
            ASSERT_NE(std::string::npos, stop);
            if (drawing[from] != ' ') {
                ASSERT_TRUE(sameBytes(drawing.substr(from, end - from), turned.substr(at, stop - at)));
            }
            at = stop + 1;
        }
        EXPECT_EQ(turned.size(), at);
    }
}

// Coordinates at the ends of the double range and labels in the host's code page, or in none.
TEST(Host, ThePictureIsValidWhateverTheToolReturns)
{
    Scratch dir;
    writeFile(dir / "d.txt", " -1e308 -1e308 1e308 1e308\n");
    writeScript(dir / "tool.sh", "printf 'hd\\r\\n#linetilt-host line 1\\r\\n -1e308 -1e308 1e308 1.7e308\\r\\n"
                               "ch 1 1 3 0 \"\\202\\240\\r\\nch 2 2 3 0 \"\\377\\r\\nch 3 3 3 0 \"\\343\\201\\204\\r\\n"
                               "ch 4 4 3 0 \"\\364\\220\\200\\200\\r\\n' > QXC_TEMP.TXT\n");
    Outcome run = runTool(dir.path, {"d.txt", "--at", "0,0", "--tool", "./tool.sh", "--svg", "p.svg"});
    EXPECT_EQ(0, run.status) << run.err;
    std::string svg = readFile(dir / "p.svg");
    EXPECT_EQ(0, std::system(("xmllint --noout " + (dir / "p.svg")).c_str()));
    EXPECT_EQ(std::string::npos, svg.find("nan"));
    EXPECT_EQ(std::string::npos, svg.find("=\"-9"));
    // Shift_JIS, a byte of none, a code beyond U+10FFFF, and UTF-8, which is no Shift_JIS.
    for (const char* label : {">\u3042</text>", ">\\xFF</text>", ">\\xF4\\x90\\x80\\x80</text>", ">\u3044</text>"})
        EXPECT_NE(std::string::npos, svg.find(label)) << label;
}

// Every system call the stand-in makes on the drawing, its scratch files and -o fails in
// turn: -o then holds the old drawing or the whole new one, status 0 comes only with the
// whole new one, every other status says why, and no file of its own is left beside -o.
TEST(Host, EachFailingSystemCallLeavesTheOldDrawingOrTheWholeNewOne)
{
    std::string drawing = "  0\nSECTION\n  2\nENTITIES\n";
    for (int i = 0; i < 3000; ++i)  // some 250 KB: several reads
        drawing += "  0\nLINE\n  8\n0\n 10\n" + std::to_string(i) + ".5\n 20\n0\n 11\n" + std::to_string(i) +
                   "\n 21\n1e1\n";
    drawing += "  0\nENDSEC\n  0\nEOF\n";
    const std::vector<std::string> args = {"drawing.dxf", "--at", "0,0", "-o", "new.dxf"};
    // A fault in the clean-up leaves the stand-in's scratch directory behind: here, not in /tmp.
    Scratch temporary;
    // Put back when the test ends, also by a failed assertion, for the tests after it.
    struct KeptVariable {
        const char* old = std::getenv("TMPDIR");
        std::string value = old ? old : "";
        ~KeptVariable() { old ? setenv("TMPDIR", value.c_str(), 1) : unsetenv("TMPDIR"); }
    } kept;
    setenv("TMPDIR", temporary.path.c_str(), 1);
    Scratch reference;
    writeFile(reference / "drawing.dxf", drawing);
    Outcome clean;
    std::vector<Call> calls = traceCalls(reference.path, args,
                                         "read,write,openat,close,rename,fsync,fstat,newfstatat,lseek", &clean, false);
    ASSERT_EQ(0, clean.status) << clean.err;
    const std::string whole = readFile(reference / "new.dxf"), old = "the old drawing\n";
    int injected = 0, broken = 0, falseSuccesses = 0;
    for (const Call& call : calls) {
        if (call.line.find(reference.path) == std::string::npos && call.line.find("linetilt-host-") == std::string::npos &&
            call.line.find("\"drawing.dxf\"") == std::string::npos && call.line.find("\"new.dxf") == std::string::npos)
            continue;  // the program's libraries and locale
        Scratch dir;
        writeFile(dir / "drawing.dxf", drawing);
        writeFile(dir / "new.dxf", old);
        Outcome run = runWithFault(dir.path, args, call, false);
        ++injected;
        // A scratch directory its clean-up could not remove is named.
        if (!listDir(temporary.path).empty()) {
            EXPECT_NE(std::string::npos, run.err.find("cannot remove " + temporary.path)) << call.line;
            std::filesystem::remove_all(temporary.path);
            std::filesystem::create_directory(temporary.path);
        }
        std::string found = readFile(dir / "new.dxf");
        if ((found != old && found != whole) || listDir(dir.path) != std::vector<std::string>{"drawing.dxf", "new.dxf"})
            ++broken, ADD_FAILURE() << "a broken drawing or a file left behind, status " << run.status << ", with " << call.line;
        // A failed write is named as one, not taken for a fault of the tool's.
        bool unnamed = call.name == "write" && run.status != 0 && run.err.find("cannot write") == std::string::npos;
        bool known = run.status >= 0 && run.status <= 4;  // the manual page's, not a crash
        if ((run.status == 0) != (found == whole) || (run.status != 0 && run.err.empty()) || unnamed || !known)
            ++falseSuccesses, ADD_FAILURE() << "status " << run.status << " \"" << run.err << "\" with " << call.line;
    }
    std::printf("[ %d injected faults: %d broken drawings, %d false successes, silent failures or crashes ]\n",
                injected, broken, falseSuccesses);
}
