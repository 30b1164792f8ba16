// The scratch directory of a run and the reading back of what the tool left there.
#include "tool/runner.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "base/files.h"
#include "base/status.h"
#include "base/system.h"
#include "tool/process.h"

namespace fs = std::filesystem;

namespace {

// A directory only this run uses, under the system's place for temporary files.
bool makeScratch(fs::path& scratch, std::string& error)
{
    std::error_code code;
    fs::path base = fs::temp_directory_path(code);
    if (code) {
        error = "no directory for temporary files: " + reasonOf(code);
        return false;
    }
    std::mt19937_64 random(std::random_device{}() ^
                           static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        scratch = base / ("linetilt-host-" + std::to_string(random() % 1000000000000ULL));
        if (makeDirectory(scratch.u8string()))
            return true;
        if (errno != EEXIST)
            break;
    }
    error = "cannot create a directory in " + base.u8string() + ": " + reasonOf(errno, scratch.u8string());
    return false;
}

}  // namespace

ToolRun prepareRun(const std::string& tool, const Producer& exchange)
{
    ToolRun run;
    run.tool = tool;
    fs::path scratch;
    if (!makeScratch(scratch, run.failure))
        return run;
    run.scratch = scratch.u8string();
    try {  // the run, with its directory, is handed back whatever happens: the caller removes it
        fs::path work = scratch / "work";
        if (!makeDirectory(work.u8string()))
            run.failure = "cannot create " + work.u8string() + ": " + reasonOf(errno, work.u8string());
        std::error_code code;
        // The tool is started in the scratch directory: a path relative to here must be made whole.
        run.program = fs::absolute(fs::u8path(tool), code).u8string();
        if (code && run.failure.empty())
            run.failure = "the tool " + tool + " cannot be started: " + reasonOf(code);
        if (run.failure.empty())
            writeNew((work / "qxc_temp.txt").u8string(), exchange, run.failure);
    } catch (const std::bad_alloc&) {
        run.failure = "not enough memory to write the exchange file";
    }
    return run;
}

void startRun(ToolRun& run, const std::vector<std::string>& switches)
{
    fs::path scratch = fs::u8path(run.scratch);
    run.start = std::chrono::steady_clock::now();
    run.process = startProcess(run.program, switches, (scratch / "work").u8string(), (scratch / "stdout").u8string(),
                               (scratch / "stderr").u8string());
    if (!run.process.started)
        run.failure = "the tool " + run.tool + " cannot be started: " + run.process.failure;
}

void waitRun(ToolRun& run, double seconds)
{
    std::chrono::duration<double> spent = std::chrono::steady_clock::now() - run.start;
    run.status = waitProcess(run.process, std::max(0.0, seconds - spent.count()), run.timedOut);
    run.process.started = false;
    if (!run.process.failure.empty()) {
        run.failure = run.process.failure;
        return;
    }
    fs::path scratch = fs::u8path(run.scratch), work = scratch / "work";
    if (!readWhole((scratch / "stdout").u8string(), run.out, run.failure) ||
        !readWhole((scratch / "stderr").u8string(), run.err, run.failure))
        return;
    for (const char* name : {"QXC_TEMP.$$$", "QXC_TEMP.TXT"}) {
        std::string path = (work / name).u8string();
        bool there = false, looked = lookFor(path, there);
        if (!looked)
            run.failure = "cannot look for " + path + ": " + reasonOf(errno, path);
        if (there && looked)
            run.haveStream = run.stream.read(path, run.failure);
        if (there || !looked)
            break;
    }
}

bool removeScratch(ToolRun& run, double seconds)
{
    std::string error;
    bool removed = run.scratch.empty() || removeTree(run.scratch, seconds, error);
    // It holds lines of the drawing: the user should know where.
    if (!removed)
        std::fprintf(stderr, "linetilt-host: %s; the scratch directory %s stays, with lines of the drawing in it\n",
                     error.c_str(), run.scratch.c_str());
    run.scratch.clear();
    return removed;
}

void abandonRun(ToolRun& run, double seconds) noexcept
{
    try {
        bool timedOut = false;
        if (run.process.started)
            waitProcess(run.process, 0, timedOut);  // no time left: stopped now
        run.process.started = false;
        removeScratch(run, seconds);
    } catch (...) {
        // Nothing more can be done without memory; the directory is named in no message then.
    }
}
