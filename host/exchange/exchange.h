// The host's side of the exchange: the exchange files it writes and the command streams it reads.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/geometry.h"
#include "base/memory.h"
#include "drawing/drawing.h"

// The most records the tool takes in one exchange file.
constexpr long RECORD_LIMIT = 50000;

// One line handed to the tool.
struct Job {
    long id;                        // its line in the drawing file, named in the exchange file
    const Attributes* attributes;   // the attribute records in force at it, in the drawing; none for null
    std::string_view record;        // the line record the tool reads, in the drawing; "" to write `segment`
    Segment segment;                // its ends as read
};

using Jobs = LargeTable<Job>;

// The exchange files for `jobs` with `at` as the indicated point: "hq", the point, and for
// each line the attribute records that changed, a comment naming its line and its record,
// in as many files as the record limit asks. They are made one at a time, as the runs need them.
class ExchangeFiles {
public:
    ExchangeFiles(const Jobs& jobs, Point at, long limit = RECORD_LIMIT);
    // Whether a file is still to come. The host runs the tool also when nothing is selected
    // (its restore records are an answer too): one file at least.
    bool more() const;
    // Puts the next file, piece by piece.
    void next(const std::function<void(std::string_view)>& put);

private:
    const Jobs& jobs_;
    std::string head_;
    long limit_;
    std::size_t done_ = 0;
    bool any_ = false;
};

struct Label {
    Point at;
    std::string text;
};

// A line record the tool returned, and the line it replaces.
struct Returned {
    long id;
    std::string_view record;  // in the command stream, which the caller keeps
};

struct Commands {
    LargeTable<Returned> lines;                      // in the order of the command stream
    std::vector<Label> labels;                       // the text labels of debug level 1
    std::vector<std::string> restored;               // attribute records after the last line
    std::vector<std::string> unknown;                // "line N: record", for records not known
    std::string error;                               // the tool's own error record, as UTF-8
};

// Interprets one command stream into `commands`; false when it does not begin with "hd".
bool readCommands(std::string_view stream, Commands& commands);

// The attribute kind of a record ("lc", "lt", "ly", "lg", "pn", "cn", "cn0"), "" for none.
std::string attributeKind(std::string_view record);

// Appends the line record " x1 y1 x2 y2", each coordinate in its shortest exact decimal.
void appendLineRecord(std::string& out, const Segment& segment);

// The four words of a line record " x1 y1 x2 y2 ", blanks around them; false for more or fewer.
bool lineWords(std::string_view record, std::array<std::string_view, 4>& words);

// Reads the four numbers of a returned line record, each finite; false otherwise.
bool parseReturned(std::string_view record, Segment& segment);
