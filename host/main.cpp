// linetilt-host: plays the host CAD program for linetilt, so that a drawing (the host's
// record text or an ASCII DXF) can be run through the tool end to end and the result looked at.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "drawing/dxf.h"
#include "exchange/exchange.h"
#include "base/files.h"
#include "base/memory.h"
#include "cli/options.h"
#include "drawing/plan.h"
#include "tool/runner.h"
#include "base/status.h"
#include "picture/svg.h"
#include "base/system.h"

void fail(int status, const std::string& message)
{
    std::fprintf(stderr, "linetilt-host: %s\n", message.c_str());
    std::exit(status);
}

namespace {

// The tilt angle the switches ask for, read as the tool reads its p switch.
double angleOf(const std::vector<std::string>& switches)
{
    double angle = 10.0;
    for (const auto& s : switches) {
        if (s.size() > 2 && (s[0] == '-' || s[0] == '/') && (s[1] == 'p' || s[1] == 'P')) {
            double v = std::strtod(s.c_str() + 2, nullptr);
            if (std::fabs(v) < 360.0)
                angle = v;
        }
    }
    return angle;
}

// Runs the tool over every exchange file and takes its answers; any failure ends the run.
// The command streams are kept in `streams`, where the outcomes' records lie.
Commands runAll(const Options& o, const Jobs& jobs, Outcomes& outcomes,
                std::vector<std::unique_ptr<FileBytes>>& streams)
{
    Commands all;
    ExchangeFiles files(jobs, o.at);
    auto file = [&](const auto& put) { files.next(put); };
    LargeTable<Returned> room;  // the returned lines of the last run: their room is used again
    ToolRun run = prepareRun(o.tool, file);
    if (run.failure.empty())
        startRun(run, o.switches);
    for (bool last = false; !last;) {
        last = !files.more();
        // The host's work between two runs is done while the tool runs: the next exchange
        // file is written before this run ends, and this run's answers are taken in after
        // the next one has started. One run at a time, as the host makes them.
        ToolRun following;
        if (run.failure.empty()) {
            if (!last)
                following = prepareRun(o.tool, file);
            waitRun(run, o.timeout);
        }
        if (stopSignal() != 0) {
            removeScratch(run);
            removeScratch(following);
            stopIfAsked();
        }
        streams.push_back(std::make_unique<FileBytes>(std::move(run.stream)));
        Commands commands;
        commands.lines.swap(room);
        commands.lines.clear();
        bool understood = run.failure.empty() && run.haveStream && readCommands(streams.back()->view(), commands);
        if (!run.failure.empty() || run.timedOut || run.status != 0 || !understood) {
            removeScratch(run);
            removeScratch(following);
            if (!run.failure.empty())
                fail(TOOL_FAILED, run.failure + "; the drawing is left as it was");
            std::string why = run.timedOut          ? "stopped after the time limit"
                              : run.status != 0     ? "status " + std::to_string(run.status)
                              : !run.haveStream     ? "it left no command stream"
                                                    : "its command stream does not begin with hd";
            std::fprintf(stderr, "linetilt-host: the tool failed (%s); the drawing is left as it was\n", why.c_str());
            if (!commands.error.empty())
                std::fprintf(stderr, "linetilt-host: the tool says: %s\n", commands.error.c_str());
            if (!run.err.empty())
                std::fprintf(stderr, "linetilt-host: its messages: %s", run.err.c_str());
            std::exit(TOOL_FAILED);
        }
        if (!last && following.failure.empty())
            startRun(following, o.switches);
        removeScratch(run);
        // The jobs are in the order of their ids, so each returned line finds its own by search,
        // unless it is the one after the last line's, as it most often is.
        std::size_t next = 0;
        for (auto& returned : commands.lines) {
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
                if (outcome.readable)
                    outcome.mode = static_cast<std::uint8_t>(turnOf(jobs[i].segment, after).mode);
                outcome.collapsed = outcome.readable && after.a.x == after.b.x && after.a.y == after.b.y;
            }
        }
        all.labels.insert(all.labels.end(), commands.labels.begin(), commands.labels.end());
        all.unknown.insert(all.unknown.end(), commands.unknown.begin(), commands.unknown.end());
        all.restored = commands.restored;
        room.swap(commands.lines);
        run = std::move(following);
    }
    return all;
}

Picture picture(const Plan& plan, const Outcomes& outcomes, const Commands& commands, const Options& o)
{
    Picture picture{{}, {}, {}, commands.labels, o.at, angleOf(o.switches), plan.notDrawn};
    for (std::size_t i = 0; i < plan.drawn.size(); ++i) {
        const auto& [segment, colour] = plan.drawn[i];
        picture.before.push_back(segment);
        long job = plan.drawnJob[i];
        const Outcome* outcome = job < 0 ? nullptr : &outcomes[job];
        Segment after;
        if (outcome && outcome->turned && parseReturned(outcome->record, after)) {
            picture.after.push_back({after, colour});
            picture.turns.push_back(turnOf(segment, after));
        } else if (!outcome || !plan.dropsVanish || outcome->collapsed) {
            picture.after.push_back({segment, colour});
        }
    }
    return picture;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** wide)
{
    std::vector<std::string> words = utf8Arguments(argc, wide);
    std::vector<char*> pointers;
    for (auto& word : words)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);
    char** argv = pointers.data();
    speakUtf8();
#else
int main(int argc, char** argv)
{
#endif
    takeSignals();
    Options o = parseOptions(argc, argv);
    std::string problem;
    FileBytes bytes;
    if (!bytes.read(o.drawing, problem))
        fail(DRAWING_REFUSED, problem);
    DrawingKind kind = kindOf(bytes.view());
    if (kind == DrawingKind::BinaryDxf)
        fail(DRAWING_REFUSED, o.drawing + " is a binary DXF drawing; save it as ASCII DXF and run again");
    Plan plan = kind == DrawingKind::Dxf ? dxfPlan(o, std::move(bytes)) : recordPlan(o, std::move(bytes));

    Outcomes outcomes;
    reserveLarge(outcomes, plan.jobs.size());
    outcomes.resize(plan.jobs.size());
    std::vector<std::unique_ptr<FileBytes>> streams;
    Commands commands = runAll(o, plan.jobs, outcomes, streams);

    // Every line comes back once as a line the host can take, or not at all when its ends coincide.
    int dropped = 0, collapsed = 0;
    std::array<int, 4> modes = {};
    for (std::size_t i = 0; i < plan.jobs.size(); ++i) {
        const Job& job = plan.jobs[i];
        Outcome& outcome = outcomes[i];
        auto name = [&]() { return o.drawing + ":" + std::to_string(job.id); };
        if (outcome.returned == 0) {
            bool coincide = job.segment.a.x == job.segment.b.x && job.segment.a.y == job.segment.b.y;
            if (!coincide)
                fail(TOOL_FAILED, "the tool returned no line for the line at " + name() +
                                      "; the drawing is left as it was");
            ++dropped;
            continue;
        }
        if (outcome.returned != 1)
            fail(TOOL_FAILED, "the tool returned " + std::to_string(outcome.returned) + " lines for the line at " +
                                  name() + "; the drawing is left as it was");
        if (!outcome.readable)
            fail(TOOL_FAILED, "the tool returned the line \"" + std::string(outcome.record) + "\" for the line at " + name() +
                                  ", which the host cannot take (four finite numbers); the drawing is left as it was");
        if (outcome.collapsed) {
            ++collapsed;  // left as it was: a line of no length would be no line
            continue;
        }
        outcome.turned = true;
        ++modes[outcome.mode];
    }
    for (const auto& record : commands.unknown)
        std::fprintf(stderr, "linetilt-host: command stream %s: a record the host does not know\n", record.c_str());

    stopIfAsked();
    auto newDrawing = [&](const auto& put) { plan.write(plan.jobs, outcomes, put); };
    if (!o.output.empty() && !replaceFile(o.output, newDrawing, problem))
        fail(NOT_WRITTEN, problem);
    auto drawn = [&](const auto& put) { put(svg(picture(plan, outcomes, commands, o))); };
    if (!o.picture.empty() && !replaceFile(o.picture, drawn, problem))
        fail(NOT_WRITTEN, problem);

    // The drawing written to standard output stays a drawing: the summary goes with the messages.
    auto toOutput = [](const std::string& name) { return !name.empty() && heldDescriptor(name) == 1; };
    FILE* summary = toOutput(o.output) || toOutput(o.picture) ? stderr : stdout;
    std::fprintf(summary, "%zu lines selected, %zu turned by %g degrees, %d dropped (their ends coincide)\n",
                 plan.jobs.size(), plan.jobs.size() - dropped - collapsed, angleOf(o.switches), dropped);
    if (collapsed > 0)
        std::fprintf(summary, "%d left as they were (too short: both ends came back equal at twelve decimals)\n", collapsed);
    std::fprintf(summary, "pivots: %d first end, %d midpoint, %d second end\n", modes[1], modes[2], modes[3]);
    std::fprintf(summary, "runs of the tool: %zu\n", streams.size());
    if (kind == DrawingKind::Records) {
        std::fprintf(summary, "attributes restored:");
        for (const auto& record : commands.restored)
            std::fprintf(summary, " %s", record.c_str());
        std::fprintf(summary, "\n");
    }
    if (!commands.labels.empty())
        std::fprintf(summary, "text labels: %zu\n", commands.labels.size());
    if (std::fflush(summary) != 0 || std::ferror(summary))
        fail(NOT_WRITTEN, std::string("cannot write the summary: ") + std::strerror(errno));
    return commands.unknown.empty() ? OK : TOOL_FAILED;
}
