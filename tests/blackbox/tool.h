// Running the tool under test as a process in a scratch directory of its own.
#pragma once

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
};

// Runs the tool in `dir` with `args`, under `limits`.
Outcome runTool(const std::string& dir, const std::vector<std::string>& args, Limits limits = {});

// A fresh empty directory, removed with everything in it when the test ends.
struct Scratch {
    std::string path;
    Scratch();
    ~Scratch();
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool exists(const std::string& path);
std::vector<std::string> listDir(const std::string& dir);  // sorted names, no "." or ".."
