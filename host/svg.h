// The picture of a run: the drawing before and after, the indicated point and the pivots.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "drawing.h"
#include "stream.h"

struct Turn {
    Segment before, after;
    Point pivot;
    int mode;  // 1 first end, 2 midpoint, 3 second end
    int colour;
};

// The pivot a turned line was turned about: the end or midpoint that did not move.
Turn turnOf(const Segment& before, const Segment& after, int colour);

struct Picture {
    std::vector<Segment> before;  // every line of the drawing
    std::vector<std::pair<Segment, int>> after;  // every line of the new drawing, with its colour
    std::vector<Turn> turns;
    std::vector<Label> labels;
    Point at;
    double angle;
};

// How many turns went about each pivot: index 1 first end, 2 midpoint, 3 second end.
std::array<int, 4> pivotCounts(const std::vector<Turn>& turns);

// An SVG document, y pointing up as in CAD, its view fitting everything with a margin.
std::string svg(const Picture& picture);
