// What a drawing hands to the tool, and how it is written back once the lines are turned.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/files.h"
#include "base/geometry.h"
#include "base/memory.h"
#include "base/status.h"
#include "cli/options.h"
#include "drawing/dxf.h"
#include "exchange/exchange.h"

// What one line became.
struct Outcome {
    std::string_view record;  // the returned line record, in its command stream
    int returned = 0;         // how many lines came back for it
    bool readable = false;    // the first of them is four finite numbers
    std::uint8_t mode = 0;    // then the pivot it was turned about, as Turn::mode
    bool collapsed = false;   // it came back with both ends equal: too short for twelve decimals
    bool stretched = false;   // its length, as written back, differs by more than a millionth
    bool turned = false;
};

using Outcomes = LargeTable<Outcome>;

// One place where the new drawing differs from the old, so that the page can go back a step
// without keeping the old drawing: at `at` of the new drawing, `length` bytes stand where the
// old one had `old` then `then` (views into the old drawing's bytes, or a line end).
struct Change {
    std::size_t at, length;
    std::string_view old, then;
};
using Changes = std::vector<Change>;

// The lines to turn, and how to write the drawing back once they are turned.
struct Plan {
    Jobs jobs;
    std::vector<std::pair<Segment, std::string>> drawn;  // every drawn line with its colour, by job or not
    std::vector<long> drawnJob;                          // the job of each drawn line, -1 for none
    int notDrawn = 0;
    // Puts the new drawing, piece by piece; where it differs is told to `changes` unless null.
    std::function<void(const Jobs&, const Outcomes&, const std::function<void(std::string_view)>&, Changes*)>
        write;
    bool dropsVanish = true;  // record text: a dropped line leaves the drawing, as in the host
};

// Reads the drawing `o` names, tells its kind and makes its plan; false with `failure` when
// it cannot be read or is refused.
bool planDrawing(const Options& o, Plan& plan, DrawingKind& kind, Failure& failure);

// The plan for a drawing in the host's record text; false with `failure` on a refusal.
bool recordPlan(const Options& o, FileBytes bytes, Plan& plan, Failure& failure);
// The plan for an ASCII DXF drawing: its selected LINEs; false with `failure` on a refusal.
bool dxfPlan(const Options& o, FileBytes bytes, Plan& plan, Failure& failure);
