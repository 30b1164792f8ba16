// A drawing in the host's record text: attribute records, line records and comments.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/files.h"
#include "base/geometry.h"

// The attribute records in force, by kind ("lc", "lt", "ly", "lg", "pn", "cn", "cn0"); the
// records lie in the drawing's bytes.
using Attributes = std::map<std::string, std::string_view>;

struct DrawingLine {
    long number;            // 1-based line number in the drawing file
    std::string_view text;  // the record without its line end, in the drawing's bytes
    bool isLine = false;    // a line record " x1 y1 x2 y2"
    bool selected = false;
    Segment segment{};
    // A line record's: in force at it. The lines between two attribute records share one
    // set, which views the records: an attribute of any size is held once.
    std::shared_ptr<const Attributes> attributes;
};

struct Drawing {
    FileBytes file;
    std::vector<DrawingLine> lines;
    const char* end = "\n";  // the line end the file's lines are written back with: LF, CR LF or CR
};

// The colour number an "lc" record gives, or 1 (the host's default).
int colourOf(const Attributes& attributes);
// Reads a line record's four numbers; false when it is not one.
bool parseSegment(std::string_view record, Segment& segment);

// Reads the drawing `file` of name `name`, which `drawing` keeps; every line record is
// selected unless `selection` names line numbers.
bool readDrawing(FileBytes file, const std::string& name, const std::set<long>& selection, Drawing& drawing,
                 std::string& error);
