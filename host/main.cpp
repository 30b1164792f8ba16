// linetilt-host: plays the host CAD program for linetilt, so that a drawing (the host's
// record text or an ASCII DXF) can be run through the tool end to end and the result looked at.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "base/files.h"
#include "base/memory.h"
#include "base/status.h"
#include "base/system.h"
#include "cli/options.h"
#include "drawing/plan.h"
#include "picture/svg.h"
#include "tool/runner.h"
#include "tool/runs.h"
#ifdef __EMSCRIPTEN__
#include "web/after.h"
#endif

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

// Refuses an output that leads to the drawing (-o aside: that is how a drawing is changed in
// place) or to the other output, whatever names they go by; a device named twice takes both.
bool checkNames(const Options& o, Failure& failure)
{
    Identity drawing, output, picture;
    bool haveDrawing = identify(o.drawing, drawing, false);
    // A folder cannot be replaced: refused now, before anything is written, not at a rename.
    for (const std::string* target : {&o.output, &o.picture}) {
        std::error_code code;
        if (!target->empty() && std::filesystem::is_directory(std::filesystem::u8path(*target), code))
            return failed(failure, USAGE, (target == &o.output ? "-o " : "--svg ") + *target +
                                              " is a folder; nothing is written");
    }
    bool haveOutput = !o.output.empty() && identify(o.output, output);
    if (!o.picture.empty() && identify(o.picture, picture)) {
        if (haveDrawing && picture == drawing)
            return failed(failure, USAGE, "--svg " + o.picture + " is the drawing " + o.drawing + "; nothing is written");
        if (haveOutput && picture == output && !picture.characterDevice)
            return failed(failure, USAGE, "-o " + o.output + " and --svg " + o.picture + " are one file; nothing is written");
    }
    return true;
}

// Writes the new drawing and the picture, each to a side file or into its stream. Streams go
// last: what goes into them cannot be taken back, so they wait until the files are whole.
bool writeBoth(const Options& o, const Plan& plan, const Outcomes& outcomes, const Commands& commands,
               Output& drawingOut, Output& pictureOut, Changes* changes, Failure& failure)
{
    Producer newDrawing = [&](const auto& put) {
        if (changes)
            changes->clear();  // a write tried again tells them again
        plan.write(plan.jobs, outcomes, put, changes);
    };
    Producer newPicture = [&](const auto& put) { put(svg(picture(plan, outcomes, commands, o))); };
    const std::pair<Output*, const Producer*> outputs[] = {{&drawingOut, &newDrawing}, {&pictureOut, &newPicture}};
    std::string problem;
    for (bool streams : {false, true})
        for (auto [output, produce] : outputs)
            if (output->asked() && output->intoStream() == streams && !output->write(*produce, problem))
                return carryOn(failure, "no file is changed") &&
                       failed(failure, NOT_WRITTEN, problem + "; no file is changed");
    return carryOn(failure, "no file is changed");
}

// Renames both side files over their targets, the picture first: should the second rename
// fail, the drawing is the one left as it was. A signal now comes too late: the two renames
// take no time to speak of, and stopping between them would leave one output changed.
bool renameBoth(const Options& o, Output& drawingOut, Output& pictureOut, Failure& failure)
{
    // The names again, as they lead now: a link put in place during the run could have made
    // the picture's name lead to the drawing.
    if (!checkNames(o, failure))
        return false;
    std::string problem;
    if (!pictureOut.commit(problem))
        return failed(failure, NOT_WRITTEN, problem + "; no file is changed");
    if (!drawingOut.commit(problem))
        return failed(failure, NOT_WRITTEN,
                      problem + "; " + (o.picture.empty() ? "no file is changed" : o.picture + " holds the new picture"));
    return true;
}

// Counts the lines selected, turned and dropped, the pivots and the runs. A drawing written
// to standard output stays a drawing: the summary then goes with the messages.
bool printSummary(const Options& o, const Plan& plan, DrawingKind kind, const Tally& tally, const Answers& answers,
                  Failure& failure)
{
    auto toOutput = [](const std::string& name) { return !name.empty() && heldDescriptor(name) == 1; };
    FILE* summary = toOutput(o.output) || toOutput(o.picture) ? stderr : stdout;
    const Commands& commands = answers.commands;
    std::fprintf(summary, "%zu lines selected, %zu turned by %g degrees, %d dropped (their ends coincide)\n",
                 plan.jobs.size(), plan.jobs.size() - tally.dropped - tally.collapsed, angleOf(o.switches),
                 tally.dropped);
    if (tally.collapsed > 0)
        std::fprintf(summary, "%d left as they were (too short: both ends came back equal at twelve decimals)\n",
                     tally.collapsed);
    if (tally.stretched > 0)
        std::fprintf(summary, "lines whose length changed by more than a millionth: %d (twelve decimals are too few "
                              "for the drawing's units)\n",
                     tally.stretched);
    std::fprintf(summary, "pivots: %d first end, %d midpoint, %d second end\n", tally.modes[1], tally.modes[2],
                 tally.modes[3]);
    std::fprintf(summary, "runs of the tool: %zu\n", answers.streams.size());
    if (kind == DrawingKind::Records) {
        std::fprintf(summary, "attributes restored:");
        for (const auto& record : commands.restored)
            std::fprintf(summary, " %s", record.c_str());
        std::fprintf(summary, "\n");
    }
    if (!commands.labels.empty())
        std::fprintf(summary, "text labels: %zu\n", commands.labels.size());
#ifdef __EMSCRIPTEN__
    auto number = [](auto n) { return std::to_string(n); };
    char angle[32];
    std::snprintf(angle, sizeof angle, "%g", angleOf(o.switches));
    keepSummary({{"selected", number(plan.jobs.size())},
                 {"turned", number(plan.jobs.size() - tally.dropped - tally.collapsed)},
                 {"angle", angle},
                 {"dropped", number(tally.dropped)},
                 {"collapsed", number(tally.collapsed)},
                 {"stretched", number(tally.stretched)},
                 {"first", number(tally.modes[1])},
                 {"middle", number(tally.modes[2])},
                 {"second", number(tally.modes[3])},
                 {"runs", number(answers.streams.size())},
                 {"kind", kind == DrawingKind::Records ? "records" : "dxf"}});
#endif
    if (std::fflush(summary) != 0 || std::ferror(summary))
        return failed(failure, NOT_WRITTEN, std::string("cannot write the summary: ") + std::strerror(errno) +
                                                "; no file is changed");
    return true;
}

// Says why the run ends, where there is something to say, and gives its status.
int end(const Failure& failure)
{
#ifdef __EMSCRIPTEN__
    keepReason();
#endif
    const std::string& message = failure.message;
    if (!message.empty())
        std::fprintf(stderr, "linetilt-host: %s%s", message.c_str(), message.back() == '\n' ? "" : "\n");
    return failure.status;
}

// The steps of one run of the stand-in, as the host makes them.
int standIn(int argc, char** argv)
{
    takeSignals();
    because("");
    Options o;
    Failure failure;
    if (!parseOptions(argc, argv, o, failure) || !checkNames(o, failure))
        return end(failure);
#ifdef __EMSCRIPTEN__
    o.drawn = afterWanted();
#endif
    Output drawingOut(o.output), pictureOut(o.picture);
    Plan plan;
    DrawingKind kind;
    if (!planDrawing(o, plan, kind, failure)) {
        carryOn(failure);  // a read broken off by a signal: the signal is the reason
        return end(failure);
    }
    Outcomes outcomes;
    reserveLarge(outcomes, plan.jobs.size());
    outcomes.resize(plan.jobs.size());
    Answers answers;
    Tally tally;
    if (!runAll(o, plan.jobs, outcomes, answers, failure) || !judgeOutcomes(o, plan.jobs, outcomes, tally, failure)) {
        if (lastReason().code.empty())
            because("toolFailed");
        return end(failure);
    }
    for (const auto& record : answers.commands.unknown)
        std::fprintf(stderr, "linetilt-host: command stream %s: a record the host does not know\n", record.c_str());
    Changes changes;  // kept for the page, which goes back a step by them
    Changes* told = nullptr;
#ifdef __EMSCRIPTEN__
    told = o.drawn ? &changes : nullptr;
#endif
    if (!carryOn(failure) || !writeBoth(o, plan, outcomes, answers.commands, drawingOut, pictureOut, told, failure) ||
        !printSummary(o, plan, kind, tally, answers, failure) || !renameBoth(o, drawingOut, pictureOut, failure))
        return end(failure);
#ifdef __EMSCRIPTEN__
    keepAfter(plan, outcomes, changes);  // for the page, which draws the result without reading it again
#endif
    return answers.commands.unknown.empty() ? OK : TOOL_FAILED;
}

// The run, ended with a message where the memory runs out: by then every side file and
// scratch directory is gone with the step that held it, and the tool with its run.
int withMemory(int argc, char** argv)
{
    try {
        return standIn(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("linetilt-host: not enough memory for this drawing; no file is changed\n", stderr);
        because("memory");
        return TOOL_FAILED;
    }
}

}  // namespace

#ifdef _WIN32
// The command line in UTF-16, whole whatever the code page; the stand-in works in UTF-8.
int wmain(int argc, wchar_t** wide)
{
    std::vector<std::string> words = utf8Arguments(argc, wide);
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    speakUtf8();
    return withMemory(argc, argv.data());
}
#else
int main(int argc, char** argv)
{
    return withMemory(argc, argv);
}
#endif
