// A drawing in the host's record text: attribute records, line records and comments.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "geometry.h"

// The attribute records in force, by kind ("lc", "lt", "ly", "lg", "pn", "cn", "cn0").
using Attributes = std::map<std::string, std::string>;

struct DrawingLine {
    long number;          // 1-based line number in the drawing file
    std::string text;     // the record without its line end
    bool isLine = false;  // a line record " x1 y1 x2 y2"
    bool selected = false;
    Segment segment{};
    Attributes attributes;  // in force at this line
};

struct Drawing {
    std::vector<DrawingLine> lines;
    bool crlf = false;  // whether the file ended its lines in CR LF
};

// The colour number an "lc" record gives, or 1 (the host's default).
int colourOf(const Attributes& attributes);
// Reads a line record's four numbers; false when it is not one.
bool parseSegment(const std::string& record, Segment& segment);

// Reads the drawing `bytes` of file `name`; every line record is selected unless
// `selection` names line numbers.
bool readDrawing(std::string_view bytes, const std::string& name, const std::set<long>& selection,
                 Drawing& drawing, std::string& error);
// The drawing with each selected line replaced by the records in `replacements`.
std::string newDrawing(const Drawing& drawing, const std::map<long, std::vector<std::string>>& replacements);
