// What else a DXF drawing's model space holds, for the page to draw behind its lines: arcs and
// circles as such, ellipses and stretched arcs as chords, polylines, the entities of blocks
// where INSERTs place them, and texts as points. Nothing of it is selected or changed.
#pragma once

#include <cstddef>
#include <vector>

#include "base/geometry.h"
#include "drawing/dxf.h"

// An arc of a circle: from `start` (radians, counterclockwise from the X axis) through `sweep`,
// negative for clockwise.
struct Arc {
    Point centre;
    double radius, start, sweep;
};

struct Backdrop {
    std::vector<Segment> segments;
    std::vector<Arc> arcs;  // arcs and circles not stretched by a block's scales, drawn as arcs
    std::vector<Point> marks;
    std::vector<Point> corners;  // the ends of lines, polyline segments and arcs, to snap to
    std::size_t leftOut = 0;  // entities of the model space not drawn whole, the budget spent
    std::size_t drawn = 0;    // entities of the model space drawn
};

// What one drawing's backdrop may cost: its segments and points, and each entity looked at
// where a block is placed, together. A hostile drawing then costs so much and no more.
constexpr std::size_t BACKDROP_BUDGET = 2000000;

// The entities of blocks kept to be placed: a block of millions of texts costs so much and no more.
constexpr std::size_t BLOCK_ROOM = 200000;

// The backdrop of `drawing`, which readDxf read with keepsOthers set. Arcs stray from their
// chords by `tolerance` (drawing units) at most, and by 3 degrees' worth where that is less;
// 0 for 3 degrees always.
void readBackdrop(const DxfDrawing& drawing, Backdrop& backdrop, std::size_t budget = BACKDROP_BUDGET,
                  double tolerance = 0);
