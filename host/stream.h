// The host's side of the exchange: the file it writes, the tool's run, the commands it reads.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "drawing.h"

// The exchange file for the selected lines of `drawing`, with `at` as the indicated point.
// Each selected line is announced by a comment, which the tool echoes, so that every
// returned line can be put back where its line stood.
std::string exchangeFile(const Drawing& drawing, Point at);

struct ToolRun {
    int status = 0;  // exit status, or -1 when it had to be stopped
    std::string out, err;
    std::string stream;  // the command stream, "" when the tool left none
    bool haveStream = false;
};

// Runs `tool` with `switches` in a fresh scratch directory holding `exchange` as
// "qxc_temp.txt", stopping it after `seconds`; reads back "QXC_TEMP.$$$" where a debug
// level left the output there, else "QXC_TEMP.TXT".
ToolRun runTool(const std::string& tool, const std::vector<std::string>& switches, const std::string& exchange,
                int seconds);

struct Label {
    Point at;
    std::string text;
};

struct Commands {
    std::map<int, std::vector<std::string>> lines;  // returned line records by drawing line
    std::vector<Label> labels;                      // the text labels of debug level 1
    std::vector<std::string> restored;              // attribute records after the last line
    std::vector<std::string> unknown;               // "line N: record", for records not known
    std::string error;                              // the tool's own error record, decoded
};

// Interprets every record of the command stream; false when it does not begin with "hd".
bool readCommands(const std::string& stream, Commands& commands);
