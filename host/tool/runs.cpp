// Running the tool over every exchange file of a drawing, and judging what each line became.
#include "tool/runs.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "picture/svg.h"
#include "tool/runner.h"

namespace {

// Whether the run ended well and left a command stream the host understands, read into
// `commands`; false with `failure` saying how it failed otherwise.
bool answered(const ToolRun& run, const FileBytes& stream, Commands& commands, Failure& failure)
{
    if (!run.failure.empty())
        return failed(failure, TOOL_FAILED, run.failure + "; the drawing is left as it was");
    bool understood = run.haveStream && readCommands(stream.view(), commands);
    if (!run.timedOut && run.status == 0 && understood)
        return true;
    std::string why = run.timedOut        ? "stopped after the time limit"
                      : run.status != 0   ? "status " + std::to_string(run.status)
                      : !run.haveStream   ? "it left no command stream"
                                          : "its command stream does not begin with hd";
    std::string message = "the tool failed (" + why + "); the drawing is left as it was";
    if (!commands.error.empty())
        message += "\nlinetilt-host: the tool says: " + commands.error;
    if (!run.err.empty())
        message += "\nlinetilt-host: its messages: " + run.err;
    return failed(failure, TOOL_FAILED, message);
}

// Whether the line, written back with `after`'s ends but its pivot end as it was, differs
// in length from `before` by more than a millionth: twelve decimals are too few for its units.
bool stretched(const Segment& before, Segment after, int mode)
{
    Segment ordered = before;
    if (ordered.a.x > ordered.b.x)  // the tool orders the ends by x first
        std::swap(ordered.a, ordered.b);
    if (mode == 1)
        after.a = ordered.a;
    else if (mode == 3)
        after.b = ordered.b;
    double was = std::hypot(before.b.x - before.a.x, before.b.y - before.a.y);
    double is = std::hypot(after.b.x - after.a.x, after.b.y - after.a.y);
    return std::fabs(is - was) > 1e-6 * was;
}

// Takes each line a run returned into the outcome of its job. The jobs are in the order of
// their ids, so each returned line finds its own by search, unless it is the one after the
// last line's, as it most often is.
void takeReturned(const LargeTable<Returned>& lines, const Jobs& jobs, Outcomes& outcomes)
{
    std::size_t next = 0;
    for (const auto& returned : lines) {
        std::size_t i = next < jobs.size() && jobs[next].id == returned.id
                            ? next
                            : std::lower_bound(jobs.begin(), jobs.end(), returned.id,
                                               [](const Job& j, long id) { return j.id < id; }) - jobs.begin();
        if (i == jobs.size() || jobs[i].id != returned.id)
            continue;  // a comment of the drawing's own that looks like a mark
        next = i + 1;
        Outcome& outcome = outcomes[i];
        if (++outcome.returned == 1) {
            // Read here, while the next run is under way; judged once every run is in.
            outcome.record = returned.record;
            Segment after;
            outcome.readable = parseReturned(returned.record, after);
            if (outcome.readable) {
                outcome.mode = static_cast<std::uint8_t>(turnOf(jobs[i].segment, after).mode);
                outcome.stretched = stretched(jobs[i].segment, after, outcome.mode);
            }
            outcome.collapsed = outcome.readable && after.a.x == after.b.x && after.a.y == after.b.y;
        }
    }
}

// Adds what one run said besides its lines to what all runs said.
void gather(Commands& all, const Commands& run)
{
    all.labels.insert(all.labels.end(), run.labels.begin(), run.labels.end());
    all.unknown.insert(all.unknown.end(), run.unknown.begin(), run.unknown.end());
    all.restored = run.restored;
}

}  // namespace

bool runAll(const Options& o, const Jobs& jobs, Outcomes& outcomes, Answers& answers, Failure& failure)
{
    ExchangeFiles files(jobs, o.at);
    auto file = [&](const auto& put) { files.next(put); };
    LargeTable<Returned> room;  // the returned lines of the last run: their room is used again
    ToolRun run, following;
    // Should the memory run out on the way, neither tool nor scratch directory outlives this.
    struct Abandon {
        ToolRun &run, &following;
        double seconds;
        ~Abandon() { abandonRun(run, seconds), abandonRun(following, seconds); }
    } abandon{run, following, o.timeout};
    run = prepareRun(o.tool, file);
    if (run.failure.empty())
        startRun(run, o.switches);
    for (bool last = false; !last;) {
        last = !files.more();
        // The host's work between two runs is done while the tool runs: the next exchange
        // file is written before this run ends, and this run's answers are taken in after
        // the next one has started. One run at a time, as the host makes them.
        following = ToolRun();
        if (run.failure.empty()) {
            if (!last)
                following = prepareRun(o.tool, file);
            waitRun(run, o.timeout);
        }
        answers.streams.push_back(std::make_unique<FileBytes>(std::move(run.stream)));
        Commands commands;
        commands.lines.swap(room);
        commands.lines.clear();
        if (!carryOn(failure) || !answered(run, *answers.streams.back(), commands, failure)) {
            removeScratch(run, o.timeout);
            removeScratch(following, o.timeout);
            return false;
        }
        if (!last && following.failure.empty())
            startRun(following, o.switches);
        removeScratch(run, o.timeout);
        takeReturned(commands.lines, jobs, outcomes);
        gather(answers.commands, commands);
        room.swap(commands.lines);
        run = std::exchange(following, ToolRun());
    }
    return true;
}

bool judgeOutcomes(const Options& o, const Jobs& jobs, Outcomes& outcomes, Tally& tally, Failure& failure)
{
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const Job& job = jobs[i];
        Outcome& outcome = outcomes[i];
        auto name = [&]() { return o.drawing + ":" + std::to_string(job.id); };
        if (outcome.returned == 0) {
            bool coincide = job.segment.a.x == job.segment.b.x && job.segment.a.y == job.segment.b.y;
            if (!coincide)
                return failed(failure, TOOL_FAILED,
                              "the tool returned no line for the line at " + name() + "; the drawing is left as it was");
            ++tally.dropped;
            continue;
        }
        if (outcome.returned != 1)
            return failed(failure, TOOL_FAILED,
                          "the tool returned " + std::to_string(outcome.returned) + " lines for the line at " +
                              name() + "; the drawing is left as it was");
        if (!outcome.readable)
            return failed(failure, TOOL_FAILED,
                          "the tool returned the line \"" + std::string(outcome.record) + "\" for the line at " +
                              name() +
                              ", which the host cannot take (four finite numbers); the drawing is left as it was");
        if (outcome.collapsed) {
            ++tally.collapsed;  // left as it was: a line of no length would be no line
            continue;
        }
        outcome.turned = true;
        ++tally.modes[outcome.mode];
        tally.stretched += outcome.stretched;
    }
    return true;
}
