// The page's view of a run's result, written by the run itself: the page then draws the
// result without the new drawing being read again.
#pragma once

#include "drawing/plan.h"

// Whether the page asked for the view (linetilt_keep_after) before this run.
bool afterWanted();

// Writes PREFIX.lines (the drawn lines after the run, in the order of the drawing's view),
// PREFIX.kept (for each, the index of its line in that view: a record drawing's line of no
// length is gone), PREFIX.pivots (x y of each turned line's pivot) and PREFIX.changes (each
// change of the bytes: its place and length in the new drawing, 32 bits each, the length of
// what the old one had there and those bytes).
void keepAfter(const Plan& plan, const Outcomes& outcomes, const Changes& changes);

// Writes /reason.json: why the run was refused, {"code": ..., "values": {...}}, for the page to
// say it in its own words. Read after the run has ended, when its memory is gone.
void keepReason();

// Writes /summary.json: the numbers of the summary, for the page to word them.
void keepSummary(const std::vector<std::pair<std::string, std::string>>& values);
