// POSIX processes: spawned in a process group of their own; a timeout kills the whole group.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "tool/process.h"
#include "tool/runner.h"

std::string toolBeside()
{
    std::error_code code;
    auto self = std::filesystem::read_symlink("/proc/self/exe", code);
    return ((code ? std::filesystem::path(".") : self.parent_path()) / "linetilt").string();
}

// posix_spawn, not fork: the stand-in may hold a large drawing, and a fork would copy its page
// tables for every run of the tool. glibc reports a failed exec as the call's result.
Process startProcess(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& directory, const std::string& outFile, const std::string& errFile)
{
    Process process;
    std::vector<std::string> words = {program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);  // a group of its own, which the time limit ends
    // The tool starts with SIGXFSZ at its default: that the stand-in ignores it is its own affair.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    pid_t pid;
    int error = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        process.failure = std::strerror(error);
        return process;
    }
    process.id = pid;
    process.started = true;
    return process;
}

int waitProcess(Process& process, double seconds, bool& timedOut)
{
    pid_t pid = static_cast<pid_t>(process.id);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int raw = 0;
    timedOut = false;
#ifdef SYS_pidfd_open
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    int pidfd = -1;
#endif
    // Short naps at first, so that a quick run is not kept waiting; longer ones later.
    for (auto nap = std::chrono::microseconds(100);; nap = std::min(nap * 2, std::chrono::microseconds(10000))) {
        pid_t done = waitpid(pid, &raw, WNOHANG);
        if (done == pid)
            break;
        // Not knowing how the tool ended is a failure (ECHILD, say, when the stand-in was
        // started with SIGCHLD ignored): its status is never taken for 0.
        if (done < 0 && errno != EINTR)
            process.failure = std::string("cannot learn how the tool ended: ") + std::strerror(errno);
        bool late = std::chrono::steady_clock::now() > deadline;
        if (late || stopSignal() != 0 || !process.failure.empty()) {
            kill(-pid, SIGKILL);
            if (process.failure.empty())
                waitpid(pid, &raw, 0);
            if (pidfd >= 0)
                close(pidfd);
            timedOut = late && process.failure.empty();
            return -1;
        }
        // A descriptor for the process wakes the wait the moment it ends (Linux 5.3 on);
        // without one, the nap.
        if (pidfd >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            struct pollfd ended = {pidfd, POLLIN, 0};
            // Never negative, which would wait for ever: the deadline may have passed since it was looked at.
            poll(&ended, 1, static_cast<int>(std::clamp<long long>(left.count() + 1, 0, 1000)));
        } else {
            std::this_thread::sleep_for(nap);
        }
    }
    if (pidfd >= 0)
        close(pidfd);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}
