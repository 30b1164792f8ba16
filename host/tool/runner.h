// Running the tool as the host does: in a directory of its own, under a time limit.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "base/files.h"
#include "base/status.h"
#include "base/stop.h"
#include "tool/process.h"

struct ToolRun {
    bool timedOut = false;
    int status = 0;       // the exit status, or 128 + the signal that ended it
    std::string failure;  // why the run could not be made or read back, "" when it could
    std::string out, err;
    FileBytes stream;     // the command stream, when the tool left one
    bool haveStream = false;

    // The run while it is made: its scratch directory ("" once removed), the tool as named
    // and as found from there, and its process.
    std::string scratch;
    std::string tool, program;
    Process process;
    std::chrono::steady_clock::time_point start;
};

// Makes a fresh scratch directory holding what `exchange` puts as "qxc_temp.txt", for a run
// of `tool` that is started later. A failure is told in the run's `failure`.
ToolRun prepareRun(const std::string& tool, const Producer& exchange);

// Starts the prepared run with `switches`.
void startRun(ToolRun& run, const std::vector<std::string>& switches);

// Waits for the started run; past `seconds` from its start the tool is stopped with every
// process it started. Reads back "QXC_TEMP.$$$" where a debug level left the output there,
// else "QXC_TEMP.TXT".
void waitRun(ToolRun& run, double seconds);

// Removes the run's scratch directory, if it has one still; a file in it that another program
// holds is tried again for up to `seconds` (Windows). False, after saying which file and
// where the directory stays, when it stays.
bool removeScratch(ToolRun& run, double seconds);

// Stops the run's tool, if it runs still, and removes its scratch directory: for a run broken
// off before its end (the memory ran out). Never throws.
void abandonRun(ToolRun& run, double seconds) noexcept;
