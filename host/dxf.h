// A DXF drawing as its group-code/value pairs: its LINE entities found, the rest kept as bytes.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "geometry.h"

// What a drawing file holds, told by its content alone.
enum class DrawingKind { Records, Dxf, BinaryDxf };
DrawingKind kindOf(const std::string& bytes);

struct DxfLine {
    long line = 0;           // the file line of its group code 0, which names it
    std::string handle;      // group 5, "" when the file has none
    std::string layer;       // group 8
    int colour = 256;        // group 62; 256 takes the layer's colour
    bool modelSpace = true;  // not in paper space (group 67 = 1)
    // Groups 10, 20, 11, 21: where each value lies in the file, and its number.
    std::array<std::size_t, 4> at{}, length{};
    std::array<bool, 4> found{};
    Segment segment{};
    std::string problem;  // why a coordinate cannot be taken, "" when all four can
};

struct DxfDrawing {
    std::string bytes;
    std::vector<DxfLine> lines;          // every LINE of the ENTITIES section
    int otherEntities = 0;               // the section's other entities, which are not drawn
    std::map<std::string, int> layers;   // colour of each layer, by name folded to lower case
};

// Reads the pairs of `bytes`; false with `error` for a file cut short or not made of pairs.
bool readDxf(std::string bytes, DxfDrawing& drawing, std::string& error);

// The layer name compared as CAD programs compare it: ASCII case folded, blanks around dropped.
std::string foldedName(const std::string& name);

// The drawing's bytes with the values of groups 10, 20, 11 and 21 of some lines replaced:
// `values` holds the new texts by the line's `line`.
std::string writeBack(const DxfDrawing& drawing, const std::map<long, std::array<std::string, 4>>& values);
