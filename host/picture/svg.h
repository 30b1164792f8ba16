// The picture of a run: the drawing before and after, the indicated point and the pivots.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "base/geometry.h"
#include "exchange/exchange.h"

struct Turn {
    Segment before, after;
    Point pivot;
    int mode;  // 1 first end, 2 midpoint, 3 second end
};

// The pivot a turned line was turned about: the end or midpoint that did not move.
Turn turnOf(const Segment& before, const Segment& after);

struct Picture {
    std::vector<Segment> before;                          // every line of the drawing
    std::vector<std::pair<Segment, std::string>> after;   // every line of the new drawing, with its colour
    std::vector<Turn> turns;
    std::vector<Label> labels;
    Point at;
    double angle;
    int notDrawn = 0;  // the entities the picture leaves out: other kinds, paper space
};

// How many turns went about each pivot: index 1 first end, 2 midpoint, 3 second end.
std::array<int, 4> pivotCounts(const std::vector<Turn>& turns);

// The stroke colour of the host's colour number, and of a DXF colour index (ACI).
std::string hostColour(int colour);
std::string dxfColour(int index);

// An SVG document, y pointing up as in CAD, its view fitting everything with a margin.
// Only finite coordinates are drawn; text is written as valid UTF-8.
std::string svg(const Picture& picture);
