// POSIX processes: fork and exec in a new process group; a timeout kills the whole group.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "process.h"
#include "runner.h"

std::string toolBeside()
{
    std::error_code code;
    auto self = std::filesystem::read_symlink("/proc/self/exe", code);
    return ((code ? std::filesystem::path(".") : self.parent_path()) / "linetilt").string();
}

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

    // The child reports why exec failed through a pipe that a successful exec closes.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        process.failure = std::strerror(errno);
        return process;
    }
    pid_t pid = fork();
    if (pid < 0) {
        process.failure = std::strerror(errno);
        close(report[0]);
        close(report[1]);
        return process;
    }
    if (pid == 0) {
        setpgid(0, 0);
        int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open("/dev/null", O_RDONLY);
        if (out >= 0 && err >= 0 && in >= 0 && chdir(directory.c_str()) == 0 && dup2(in, 0) >= 0 &&
            dup2(out, 1) >= 0 && dup2(err, 2) >= 0)
            execv(argv[0], argv.data());
        int error = errno;
        (void)!write(report[1], &error, sizeof error);
        _exit(127);
    }
    setpgid(pid, pid);  // also here, so that the group exists whichever process runs first
    close(report[1]);
    int error = 0;
    ssize_t n;
    while ((n = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    process.id = pid;
    if (n == static_cast<ssize_t>(sizeof error)) {
        int raw;
        waitpid(pid, &raw, 0);
        process.failure = std::strerror(error);
        return process;
    }
    process.started = true;
    return process;
}

int waitProcess(Process& process, double seconds, bool& timedOut)
{
    pid_t pid = static_cast<pid_t>(process.id);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int raw = 0;
    timedOut = false;
    // Short naps at first, so that a quick run is not kept waiting; longer ones later.
    for (auto nap = std::chrono::microseconds(100);; nap = std::min(nap * 2, std::chrono::microseconds(10000))) {
        pid_t done = waitpid(pid, &raw, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR))
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(-pid, SIGKILL);
            waitpid(pid, &raw, 0);
            timedOut = true;
            return -1;
        }
        std::this_thread::sleep_for(nap);
    }
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}
