// Running the tool over every exchange file of a drawing, and judging what each line became.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "base/files.h"
#include "base/status.h"
#include "cli/options.h"
#include "drawing/plan.h"
#include "exchange/exchange.h"

// What the tool's runs gave: their command streams, where the outcomes' records lie, and
// the text labels, unknown records and restored attributes of all of them.
struct Answers {
    std::vector<std::unique_ptr<FileBytes>> streams;  // one per run
    Commands commands;
};

// Runs the tool over every exchange file of `jobs`, one run at a time, and takes each
// returned line into its outcome. False with `failure` when a run fails or a signal stops
// the stand-in; the scratch directories are removed either way.
bool runAll(const Options& o, const Jobs& jobs, Outcomes& outcomes, Answers& answers, Failure& failure);

// What the lines became, counted: the pivots by Turn::mode.
struct Tally {
    int dropped = 0, collapsed = 0, stretched = 0;
    std::array<int, 4> modes = {};
};

// Every line must come back once as a line the host can take, or not at all when its ends
// coincide; marks the turned ones. False with `failure` naming the first that did not.
bool judgeOutcomes(const Options& o, const Jobs& jobs, Outcomes& outcomes, Tally& tally, Failure& failure);
