// linetilt-host: plays the host CAD program for linetilt, so that a drawing (the host's
// record text or an ASCII DXF) can be run through the tool end to end and the result looked at.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "drawing.h"
#include "dxf.h"
#include "exchange.h"
#include "files.h"
#include "options.h"
#include "runner.h"
#include "svg.h"

namespace {

// Exit statuses; the manual page lists them.
enum Status { OK = 0, TOOL_FAILED = 1, USAGE = 2, DRAWING_REFUSED = 3, NOT_WRITTEN = 4 };

[[noreturn]] void fail(int status, const std::string& message)
{
    std::fprintf(stderr, "linetilt-host: %s\n", message.c_str());
    std::exit(status);
}

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

// What one line became.
struct Outcome {
    bool turned = false;
    Segment after{};
    std::string record;               // the returned line record
    std::array<std::string_view, 4> texts;  // its four numbers as the tool wrote them, in `record`
    int returned = 0;                  // how many lines came back for it
};

// The lines to turn, and how to write the drawing back once they are turned.
struct Plan {
    std::vector<Job> jobs;
    std::vector<std::pair<Segment, std::string>> drawn;  // every drawn line with its colour, by job or not
    std::vector<long> drawnJob;                          // the job of each drawn line, -1 for none
    int notDrawn = 0;
    std::function<std::string(const std::vector<Job>&, const std::vector<Outcome>&)> write;
    bool dropsVanish = true;  // record text: a dropped line leaves the drawing, as in the host
};

Plan recordPlan(const Options& o, const std::string& bytes)
{
    if (!o.layers.empty() || !o.handles.empty())
        fail(USAGE, "--layer and --handle are for DXF drawings; " + o.drawing + " is record text");
    auto drawing = std::make_shared<Drawing>();
    std::string problem;
    if (!readDrawing(bytes, o.drawing, o.selection, *drawing, problem))
        fail(DRAWING_REFUSED, problem);
    for (long number : o.selection) {
        bool isLine = number <= static_cast<long>(drawing->lines.size()) && drawing->lines[number - 1].isLine;
        if (!isLine)
            fail(USAGE, "--select " + std::to_string(number) + ": line " + std::to_string(number) + " of " +
                            o.drawing + " is not a line record");
    }
    Plan plan;
    for (const auto& line : drawing->lines) {
        if (!line.isLine)
            continue;
        if (line.selected) {
            std::vector<std::string> attributes;
            for (const auto& [kind, record] : line.attributes)
                attributes.push_back(record);
            plan.jobs.push_back({line.number, attributes, line.text, line.segment});
        }
        if (o.picture.empty())
            continue;
        plan.drawn.push_back({line.segment, hostColour(colourOf(line.attributes))});
        plan.drawnJob.push_back(line.selected ? static_cast<long>(plan.jobs.size()) - 1 : -1);
    }
    plan.write = [drawing](const std::vector<Job>& jobs, const std::vector<Outcome>& outcomes) {
        std::map<long, std::vector<std::string>> replacements;
        for (std::size_t i = 0; i < outcomes.size(); ++i)
            if (outcomes[i].turned)
                replacements[jobs[i].id] = {outcomes[i].record};
        return newDrawing(*drawing, replacements);
    };
    return plan;
}

Plan dxfPlan(const Options& o, std::string bytes)
{
    if (!o.selection.empty())
        fail(USAGE, "--select is for record text; " + o.drawing + " is a DXF drawing: use --layer or --handle");
    auto drawing = std::make_shared<DxfDrawing>();
    std::string problem;
    if (!readDxf(std::move(bytes), *drawing, problem))
        fail(DRAWING_REFUSED, o.drawing + ": " + problem + "; nothing is written");
    std::set<std::string> layers, handles;
    for (const auto& layer : o.layers)
        layers.insert(foldedName(layer));
    for (auto handle : o.handles)
        handles.insert(foldedName(handle));
    auto where = [&](const DxfLine& line) {
        return o.drawing + ":" + std::to_string(line.line) + ": LINE" +
               (line.handle.empty() ? "" : " " + std::string(line.handle));
    };
    Plan plan;
    plan.dropsVanish = false;
    plan.notDrawn = drawing->otherEntities;
    std::set<std::string> named;
    std::vector<std::size_t> jobLines;  // the line of each job
    for (const auto& line : drawing->lines) {
        bool selectable = line.modelSpace && (layers.empty() || layers.count(foldedName(line.layer)));
        bool selected = selectable && (handles.empty() || handles.count(foldedName(line.handle)));
        if (selected && !line.problem.empty())
            fail(DRAWING_REFUSED, where(line) + ": " + line.problem + "; nothing is written");
        if (selected && !handles.empty())
            named.insert(foldedName(line.handle));
        if (!line.modelSpace || !line.problem.empty()) {
            ++plan.notDrawn;
            continue;
        }
        if (selected) {
            plan.jobs.push_back({line.line, {}, "", line.segment});
            jobLines.push_back(&line - drawing->lines.data());
        }
        if (o.picture.empty())
            continue;  // what is drawn is gathered only for a picture
        int colour = line.colour;
        if (colour == 256) {
            auto layer = drawing->layers.find(foldedName(line.layer));
            colour = layer == drawing->layers.end() ? 7 : layer->second;
        }
        plan.drawn.push_back({line.segment, dxfColour(colour == 0 ? 7 : colour)});
        plan.drawnJob.push_back(selected ? static_cast<long>(plan.jobs.size()) - 1 : -1);
    }
    for (const auto& handle : o.handles)
        if (!named.count(foldedName(handle)))
            fail(USAGE, "--handle " + handle + ": " + o.drawing + " has no LINE of that handle in the model space" +
                            (layers.empty() ? "" : " on the layers named") + "; nothing is written");
    plan.write = [drawing, lines = std::move(jobLines)](const std::vector<Job>&, const std::vector<Outcome>& outcomes) {
        std::vector<NewValues> values;
        for (std::size_t i = 0; i < outcomes.size(); ++i)
            if (outcomes[i].turned)
                values.push_back({lines[i], outcomes[i].texts});
        return writeBack(*drawing, values);
    };
    return plan;
}

// Runs the tool over every exchange file and takes its answers; any failure ends the run.
Commands runAll(const Options& o, const std::vector<std::string>& files, const std::vector<Job>& jobs,
                std::vector<Outcome>& outcomes)
{
    Commands all;
    for (const auto& file : files) {
        ToolRun run = runTool(o.tool, o.switches, file, o.timeout);
        if (!run.failure.empty())
            fail(TOOL_FAILED, run.failure + "; the drawing is left as it was");
        Commands commands;
        bool understood = run.haveStream && readCommands(run.stream, commands);
        if (run.timedOut || run.status != 0 || !understood) {
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
        // The jobs are in the order of their ids, so each returned line finds its own by search.
        for (auto& returned : commands.lines) {
            auto job = std::lower_bound(jobs.begin(), jobs.end(), returned.id,
                                        [](const Job& j, long id) { return j.id < id; });
            if (job == jobs.end() || job->id != returned.id)
                continue;  // a comment of the drawing's own that looks like a mark
            Outcome& outcome = outcomes[job - jobs.begin()];
            if (++outcome.returned == 1)
                outcome.record = std::move(returned.record);
        }
        all.labels.insert(all.labels.end(), commands.labels.begin(), commands.labels.end());
        all.unknown.insert(all.unknown.end(), commands.unknown.begin(), commands.unknown.end());
        all.restored = commands.restored;
    }
    return all;
}

Picture picture(const Plan& plan, const std::vector<Outcome>& outcomes, const Commands& commands, const Options& o)
{
    Picture picture{{}, {}, {}, commands.labels, o.at, angleOf(o.switches), plan.notDrawn};
    for (std::size_t i = 0; i < plan.drawn.size(); ++i) {
        const auto& [segment, colour] = plan.drawn[i];
        picture.before.push_back(segment);
        long job = plan.drawnJob[i];
        const Outcome* outcome = job < 0 ? nullptr : &outcomes[job];
        if (outcome && outcome->turned) {
            picture.after.push_back({outcome->after, colour});
            picture.turns.push_back(turnOf(segment, outcome->after));
        } else if (!outcome || !plan.dropsVanish) {
            picture.after.push_back({segment, colour});
        }
    }
    return picture;
}

}  // namespace

int main(int argc, char** argv)
{
    Options o = parseOptions(argc, argv);
    std::string bytes, problem;
    if (!readWhole(o.drawing, bytes, problem))
        fail(DRAWING_REFUSED, problem);
    DrawingKind kind = kindOf(bytes);
    if (kind == DrawingKind::BinaryDxf)
        fail(DRAWING_REFUSED, o.drawing + " is a binary DXF drawing; save it as ASCII DXF and run again");
    Plan plan = kind == DrawingKind::Dxf ? dxfPlan(o, std::move(bytes)) : recordPlan(o, bytes);

    std::vector<std::string> files = exchangeFiles(plan.jobs, o.at);
    std::vector<Outcome> outcomes(plan.jobs.size());
    Commands commands = runAll(o, files, plan.jobs, outcomes);

    // Every line comes back once as a line the host can take, or not at all when its ends coincide.
    int dropped = 0;
    std::array<int, 4> modes = {};
    for (std::size_t i = 0; i < plan.jobs.size(); ++i) {
        const Job& job = plan.jobs[i];
        Outcome& outcome = outcomes[i];
        std::string name = o.drawing + ":" + std::to_string(job.id);
        if (outcome.returned == 0) {
            bool coincide = job.segment.a.x == job.segment.b.x && job.segment.a.y == job.segment.b.y;
            if (!coincide)
                fail(TOOL_FAILED, "the tool returned no line for the line at " + name +
                                      "; the drawing is left as it was");
            ++dropped;
            continue;
        }
        if (outcome.returned != 1)
            fail(TOOL_FAILED, "the tool returned " + std::to_string(outcome.returned) + " lines for the line at " +
                                  name + "; the drawing is left as it was");
        if (!parseReturned(outcome.record, outcome.after, outcome.texts))
            fail(TOOL_FAILED, "the tool returned the line \"" + outcome.record + "\" for the line at " + name +
                                  ", which the host cannot take (four finite numbers); the drawing is left as it was");
        outcome.turned = true;
        ++modes[turnOf(job.segment, outcome.after).mode];
    }
    for (const auto& record : commands.unknown)
        std::fprintf(stderr, "linetilt-host: command stream %s: a record the host does not know\n", record.c_str());

    if (!o.output.empty() && !replaceFile(o.output, plan.write(plan.jobs, outcomes), problem))
        fail(NOT_WRITTEN, problem);
    if (!o.picture.empty() && !replaceFile(o.picture, svg(picture(plan, outcomes, commands, o)), problem))
        fail(NOT_WRITTEN, problem);

    std::printf("%zu lines selected, %zu turned by %g degrees, %d dropped (their ends coincide)\n", plan.jobs.size(),
                plan.jobs.size() - dropped, angleOf(o.switches), dropped);
    std::printf("pivots: %d first end, %d midpoint, %d second end\n", modes[1], modes[2], modes[3]);
    std::printf("runs of the tool: %zu\n", files.size());
    if (kind == DrawingKind::Records) {
        std::printf("attributes restored:");
        for (const auto& record : commands.restored)
            std::printf(" %s", record.c_str());
        std::printf("\n");
    }
    if (!commands.labels.empty())
        std::printf("text labels: %zu\n", commands.labels.size());
    return commands.unknown.empty() ? OK : TOOL_FAILED;
}
