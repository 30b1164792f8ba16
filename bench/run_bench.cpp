// Whole runs of the tool as a process on exchange files of 1000 to 50000 records: wall time,
// peak memory, and the time against copying the same file with cp, measured in the same run.
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "exchange_files.h"

namespace fs = std::filesystem;

namespace {

// Runs `argv` in `dir` with its output discarded; returns its wall time in milliseconds.
// With `peakKiB`, the process is traced and stopped at its exit to read its peak resident
// memory there: the rusage of a child also counts the pages it shared with this process
// between fork and exec.
double run(const std::string& dir, std::vector<std::string> argv, long* peakKiB = nullptr)
{
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    std::fflush(stdout);  // or the child would write the table again
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0 || !freopen("/dev/null", "w", stdout))
            _exit(127);
        if (peakKiB)
            ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status;
    while (waitpid(pid, &status, 0) == pid && WIFSTOPPED(status)) {
        if (status >> 8 == (SIGTRAP | PTRACE_EVENT_EXIT << 8)) {
            std::ifstream proc("/proc/" + std::to_string(pid) + "/status");
            for (std::string field; proc >> field;)
                if (field == "VmHWM:")
                    proc >> *peakKiB;
        }
        int signal = WSTOPSIG(status) == SIGTRAP ? 0 : WSTOPSIG(status);
        ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACEEXIT);
        ptrace(PTRACE_CONT, pid, nullptr, signal);
    }
    auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[0].c_str());
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(end - start).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: run_bench LINETILT [RUNS]\n");
        return 2;
    }
    std::string tool = fs::absolute(argv[1]).string();
    int runs = argc > 2 ? std::atoi(argv[2]) : 30;
    fs::path scratch = fs::temp_directory_path() / ("linetilt-bench-" + std::to_string(getpid()));
    fs::create_directories(scratch);

    std::printf("%8s %9s %10s %10s %10s %10s %9s %8s\n", "records", "bytes", "median ms", "min ms", "max ms",
                "cp ms", "tool/cp", "peak KiB");
    for (int records : {1000, 10000, 50000}) {
        std::string input = exchangeFile(records);
        std::vector<double> tool_ms, cp_ms;
        for (int i = 0; i < runs; ++i) {
            std::ofstream(scratch / "qxc_temp.txt", std::ios::binary) << input;
            tool_ms.push_back(run(scratch.string(), {tool}));
            fs::remove(scratch / "QXC_TEMP.TXT");
            std::ofstream(scratch / "source.txt", std::ios::binary) << input;
            cp_ms.push_back(run(scratch.string(), {"cp", "source.txt", "copy.txt"}));
        }
        long peak = 0;
        std::ofstream(scratch / "qxc_temp.txt", std::ios::binary) << input;
        run(scratch.string(), {tool}, &peak);
        fs::remove(scratch / "QXC_TEMP.TXT");
        std::printf("%8d %9zu %10.2f %10.2f %10.2f %10.2f %9.1f %8ld\n", records, input.size(), median(tool_ms),
                    *std::min_element(tool_ms.begin(), tool_ms.end()),
                    *std::max_element(tool_ms.begin(), tool_ms.end()), median(cp_ms), median(tool_ms) / median(cp_ms),
                    peak);
    }
    fs::remove_all(scratch);
    return 0;
}
