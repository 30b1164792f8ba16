// Running the tool under test as a process in a scratch directory of its own.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct Outcome {
    int status;  // the exit status, or 128 + the signal that ended the process
    std::string out;
    std::string err;
};

// The tool under test, and the runner that starts it (empty to run it directly).
void setTool(const std::string& path, const std::vector<std::string>& runner);

// Whether the tool under test is the Windows build.
bool isWindowsBuild();

struct Limits {
    // >= 0: the tool may write no file larger than this, and a write beyond it fails.
    long fileSize = -1;
    // >= 0: the tool is killed with SIGKILL this many microseconds after it starts.
    long killAfterMicros = -1;
    // Bit n set: the tool starts with its descriptor n (0 to 2) closed.
    int closed = 0;
    // The tool runs as the user nobody, who may write only where everyone may.
    bool unprivileged = false;
};

// Runs the tool in `dir` with `args`, under `limits`.
Outcome runTool(const std::string& dir, const std::vector<std::string>& args, Limits limits = {});

// Starts the program at `name`, a path from the folder of the tool under test, through the
// same runner, in `dir` with `args`, its standard output and error into the file `log` (a
// pipe could be held open by Wine's services after it ends); returns its process id.
int startBeside(const std::string& name, const std::vector<std::string>& args, const std::string& dir,
                const std::string& log);

// Runs the tool as runTool does, the words of `wrapper` before it: a shell that sets its
// surroundings first ("bash", "-c", "ulimit -v 100000; exec \"$0\" \"$@\"") or runs it in the background.
Outcome runWrapped(const std::string& dir, const std::vector<std::string>& wrapper, const std::vector<std::string>& args);

// One system call of a run traced by strace: its name, its number among the calls of that
// name in its process (1 for the first; strace counts the same way for inject's when=) and
// the line strace wrote, file descriptors shown with their paths.
struct Call {
    std::string name;
    int nth;
    std::string line;
};

// Runs the tool as runTool does under strace, tracing the system calls in `names` (a comma
// list), in the processes it starts too when `children`; returns the calls in their order.
std::vector<Call> traceCalls(const std::string& dir, const std::vector<std::string>& args, const std::string& names,
                             Outcome* outcome = nullptr, bool children = true);

// Runs the tool as runTool does under strace, with `call` failing: ENOSPC for a write,
// EACCES for an openat, EIO for any other. With `children`, the call of that number fails in
// every process that makes it.
Outcome runWithFault(const std::string& dir, const std::vector<std::string>& args, const Call& call,
                     bool children = true);

// Equal bytes; else their sizes and the first difference, not two huge texts.
testing::AssertionResult sameBytes(const std::string& expected, const std::string& actual);

// A fresh empty directory, removed with everything in it when the test ends.
struct Scratch {
    std::string path;
    Scratch();
    ~Scratch();
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
void writeScript(const std::string& path, const std::string& body);  // a shell script, executable
bool exists(const std::string& path);
std::vector<std::string> listDir(const std::string& dir);  // sorted names, no "." or ".."
