// Running the tool as the host does: in a directory of its own, under a time limit.
#pragma once

#include <string>
#include <vector>

#include "files.h"

struct ToolRun {
    bool started = false;
    bool timedOut = false;
    int status = 0;       // the exit status, or 128 + the signal that ended it
    std::string failure;  // why the run could not be made or read back, "" when it could
    std::string out, err;
    FileBytes stream;     // the command stream, when the tool left one
    bool haveStream = false;
};

// Runs `tool` with `switches` in a fresh scratch directory holding `exchange` as
// "qxc_temp.txt". Past `seconds` the tool is stopped with every process it started. Reads
// back "QXC_TEMP.$$$" where a debug level left the output there, else "QXC_TEMP.TXT".
ToolRun runTool(const std::string& tool, const std::vector<std::string>& switches, const std::string& exchange,
                double seconds);

// The tool beside the stand-in's own program.
std::string toolBeside();
