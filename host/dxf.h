// A DXF drawing as its group-code/value pairs: its LINE entities found, the rest kept as bytes.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "geometry.h"

// What a drawing file holds, told by its content alone.
enum class DrawingKind { Records, Dxf, BinaryDxf };
DrawingKind kindOf(const std::string& bytes);

struct DxfLine {
    long line = 0;           // the file line of its group code 0, which names it
    std::string_view handle;  // group 5, "" when the file has none; a view into the drawing's bytes
    std::string_view layer;   // group 8, likewise
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
std::string foldedName(std::string_view name);

// New texts for the values of groups 10, 20, 11 and 21 of the line `lines[index]`.
struct NewValues {
    std::size_t index;
    std::array<std::string_view, 4> texts;
};

// Puts the drawing's bytes with the values of some lines replaced, piece by piece;
// `values` in the order of the lines.
void writeBack(const DxfDrawing& drawing, const std::vector<NewValues>& values,
               const std::function<void(std::string_view)>& put);
