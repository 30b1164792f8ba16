// Starts the tool under test with fork and exec, and the file helpers of the tests.
#include "tool.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace {
std::string toolPath;
std::vector<std::string> toolRunner;
}  // namespace

bool isWindowsBuild()
{
    return toolPath.size() > 4 && toolPath.compare(toolPath.size() - 4, 4, ".exe") == 0;
}

// A Windows console program ends its lines in CR LF; the expected texts end them in LF.
static std::string consoleText(const std::string& text)
{
    std::string lf;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            lf.push_back(text[i]);
    return lf;
}

void setTool(const std::string& path, const std::vector<std::string>& runner)
{
    toolPath = std::filesystem::absolute(path).string();
    toolRunner = runner;
}

// The tool run as runTool describes, the words of `wrapper` (such as strace) before it.
static Outcome run(const std::string& dir, const std::vector<std::string>& wrapper,
                   const std::vector<std::string>& args, Limits limits)
{
    std::vector<std::string> command = wrapper;
    command.insert(command.end(), toolRunner.begin(), toolRunner.end());
    // Nobody may not reach the tool where it was built, in a private directory: it runs a copy.
    std::optional<Scratch> reachable;
    if (limits.unprivileged) {
        reachable.emplace();
        std::filesystem::copy_file(toolPath, *reachable / "tool");
        chmod(reachable->path.c_str(), 0755);
    }
    command.push_back(reachable ? *reachable / "tool" : toolPath);
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : command)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // The console goes through pipes, so that a file size limit binds only the tool's files.
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
        throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        if (in < 0 || chdir(dir.c_str()) != 0)
            _exit(127);
        dup2(in, 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        // A sanitizer build's leak check cannot run under strace, which it takes for a debugger.
        if (!wrapper.empty())
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        for (int fd = 0; fd <= 2; ++fd)
            if (limits.closed & (1 << fd))
                close(fd);
        // A coverage build would write part of its counters under a file size limit and
        // spoil the others, and nobody cannot write them; such a run's counters go elsewhere.
        if (limits.fileSize >= 0 || limits.unprivileged)
            setenv("GCOV_PREFIX", "/tmp/linetilt-gcov-discarded", 1);
        if (limits.unprivileged && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(126);
        if (limits.fileSize >= 0) {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {static_cast<rlim_t>(limits.fileSize), static_cast<rlim_t>(limits.fileSize)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    // Read until the tool has ended, not until the pipes close: under Wine, helper processes
    // that outlive the tool inherit them.
    Outcome outcome;
    std::string* sinks[2] = {&outcome.out, &outcome.err};
    int pipes[2] = {outPipe[0], errPipe[0]};
    for (int fd : pipes)
        fcntl(fd, F_SETFL, O_NONBLOCK);
    auto started = std::chrono::steady_clock::now();
    int raw = 0;
    for (bool ended = false, killed = false; !ended;) {
        ended = waitpid(pid, &raw, WNOHANG) == pid;
        auto micros = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
        if (!ended && !killed && limits.killAfterMicros >= 0 && micros.count() >= limits.killAfterMicros) {
            kill(pid, SIGKILL);
            killed = true;
        }
        struct pollfd fds[2] = {{pipes[0], POLLIN, 0}, {pipes[1], POLLIN, 0}};
        long wait = ended ? 0 : 20000;
        if (!ended && !killed && limits.killAfterMicros >= 0)
            wait = std::min(wait, std::max(0L, static_cast<long>(limits.killAfterMicros - micros.count())));
        struct timespec timeout = {0, wait * 1000};
        ppoll(fds, 2, &timeout, nullptr);
        for (int i = 0; i < 2; ++i) {
            char chunk[65536];
            for (ssize_t n; (n = read(pipes[i], chunk, sizeof chunk)) > 0;)
                sinks[i]->append(chunk, n);
        }
    }
    close(pipes[0]);
    close(pipes[1]);
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    if (isWindowsBuild()) {
        outcome.out = consoleText(outcome.out);
        outcome.err = consoleText(outcome.err);
    }
    return outcome;
}

// The names and sizes in `dir`.
static std::map<std::string, std::uintmax_t> listing(const std::string& dir)
{
    std::map<std::string, std::uintmax_t> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        files[entry.path().filename().string()] = entry.is_regular_file() ? entry.file_size() : 0;
    return files;
}

Outcome runTool(const std::string& dir, const std::vector<std::string>& args, Limits limits)
{
    // Wine under a file size limit now and then fails to start the program at all: it ends
    // with 1, says nothing and leaves the directory as it was, which no run of the tool
    // does. Such a start is tried again.
    bool wineMayFail = !toolRunner.empty() && limits.fileSize >= 0;
    auto before = wineMayFail ? listing(dir) : std::map<std::string, std::uintmax_t>{};
    Outcome outcome = run(dir, {}, args, limits);
    for (int retry = 0; wineMayFail && retry < 3 && outcome.status == 1 && outcome.out.empty() &&
                        outcome.err.empty() && listing(dir) == before;
         ++retry)
        outcome = run(dir, {}, args, limits);
    return outcome;
}

int startBeside(const std::string& name, const std::vector<std::string>& args, const std::string& dir,
                const std::string& log)
{
    std::vector<std::string> command = toolRunner;
    command.push_back((std::filesystem::path(toolPath).parent_path() / name).string());
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : command)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY), out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || chdir(dir.c_str()) != 0)
            _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

Outcome runWrapped(const std::string& dir, const std::vector<std::string>& wrapper, const std::vector<std::string>& args)
{
    return run(dir, wrapper, args, {});
}

std::vector<Call> traceCalls(const std::string& dir, const std::vector<std::string>& args, const std::string& names,
                             Outcome* outcome, bool children)
{
    std::string log = (std::filesystem::temp_directory_path() / "linetilt-trace-XXXXXX").string();
    close(mkstemp(log.data()));
    std::vector<std::string> strace = {"strace", "-y", "-o", log, "-e", "trace=" + names};
    if (children)
        strace.insert(strace.begin() + 1, "-f");
    Outcome traced = run(dir, strace, args, {});
    if (outcome)
        *outcome = traced;
    // "[PID ]name(args) = result"; a call cut by another process's ends "<unfinished ...>"
    // and goes on in a line "<... name resumed>", which is not another call.
    std::vector<Call> calls;
    std::map<std::string, int> counted;
    std::istringstream lines(readFile(log));
    unlink(log.c_str());
    for (std::string line; std::getline(lines, line);) {
        std::size_t start = line.find_first_not_of("0123456789 ");
        std::size_t paren = line.find('(', start);
        if (start == std::string::npos || paren == std::string::npos || line[start] == '<' || line[start] == '+' ||
            line[start] == '-')
            continue;
        std::string pid = line.substr(0, start), name = line.substr(start, paren - start);
        calls.push_back({name, ++counted[pid + name], line});
    }
    return calls;
}

Outcome runWithFault(const std::string& dir, const std::vector<std::string>& args, const Call& call, bool children)
{
    std::string error = call.name == "write" ? "ENOSPC" : call.name == "openat" ? "EACCES" : "EIO";
    std::vector<std::string> strace = {"strace", "-o", "/dev/null", "-e", "trace=" + call.name, "-e",
                                       "inject=" + call.name + ":error=" + error + ":when=" + std::to_string(call.nth)};
    if (children)
        strace.insert(strace.begin() + 1, "-f");
    return run(dir, strace, args, {});
}

testing::AssertionResult sameBytes(const std::string& expected, const std::string& actual)
{
    auto differ = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    if (differ.first == expected.end() && differ.second == actual.end())
        return testing::AssertionSuccess();
    std::size_t at = differ.first - expected.begin();
    return testing::AssertionFailure() << expected.size() << " bytes expected, " << actual.size()
                                       << " found; the first difference at byte " << at << ": expected \""
                                       << expected.substr(at, 40) << "\", found \"" << actual.substr(at, 40) << "\"";
}

Scratch::Scratch()
{
    char pattern[] = "/tmp/linetilt-test-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

Scratch::~Scratch()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

void writeScript(const std::string& path, const std::string& body)
{
    writeFile(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
}

bool exists(const std::string& path)
{
    return std::filesystem::exists(std::filesystem::symlink_status(path));
}

std::vector<std::string> listDir(const std::string& dir)
{
    std::vector<std::string> names;
    for (auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
