// The tool in the browser: each run is a fresh instance of the tool's WebAssembly module, made
// by the page in a directory of that instance's own in-memory file system, so that its
// program-wide state starts from its start values, as in a new process.
#include <emscripten.h>

#include "tool/process.h"

// Hands the run's directory to the page's runTool, which runs the tool on its files and
// returns its exit status, the files it left, and what it wrote to its two streams. It is
// given the whole directory, so that the tool's renames happen there as they would on disk.
// clang-format off
EM_JS(int, runToolInstance, (const char* const* words, int count, const char* directory, const char* outFile,
                             const char* errFile), {
    const args = [];
    for (let i = 0; i < count; ++i)
        args.push(UTF8ToString(HEAPU32[(words >> 2) + i]));
    const dir = UTF8ToString(directory);
    // The files go to the tool's instance where they lie, not copied: they are removed here
    // once it has run, whatever it did with them.
    const given = {};
    for (const name of FS.readdir(dir))
        if (name !== "." && name !== "..") {
            const node = FS.lookupPath(dir + "/" + name).node;
            given[name] = node.contents ? node.contents.subarray(0, node.usedBytes) : new Uint8Array(0);
        }
    let result;
    try {
        result = Module["runTool"](args, given);
    } catch (e) {
        FS.writeFile(UTF8ToString(errFile), String(e && e.message || e) + "\n");
        result = null;
    }
    for (const name of Object.keys(given))
        FS.unlink(dir + "/" + name);
    if (!result)
        return -1;
    for (const name of Object.keys(result.files))
        FS.writeFile(dir + "/" + name, result.files[name], { canOwn: true });  // the ended instance's, taken as they are
    FS.writeFile(UTF8ToString(outFile), result.stdout);
    FS.writeFile(UTF8ToString(errFile), result.stderr);
    return result.status;
});
// clang-format on

std::string toolBeside()
{
    return "linetilt";
}

Process startProcess(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& directory, const std::string& outFile, const std::string& errFile)
{
    (void)program;
    std::vector<const char*> words;
    for (const auto& word : arguments)
        words.push_back(word.c_str());
    Process process;
    // The run is over when it has started: its exit status is kept as its id.
    int status = runToolInstance(words.data(), static_cast<int>(words.size()), directory.c_str(), outFile.c_str(),
                                 errFile.c_str());
    if (status < 0) {
        process.failure = "the tool's module could not be run";
        return process;
    }
    process.id = status;
    process.started = true;
    return process;
}

// The run cannot be stopped from here: the page's worker, which it holds, is ended instead.
int waitProcess(Process& process, double, bool& timedOut)
{
    timedOut = false;
    return static_cast<int>(process.id);
}
