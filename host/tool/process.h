// Starting a program in a group of its own, and stopping the whole group: one file per platform.
#pragma once

#include <string>
#include <vector>

struct Process {
    bool started = false;
    std::string failure;  // why it could not be started, or how it ended could not be learnt
    long long id = 0;     // the process (POSIX: also its group), or the Windows process handle
    long long job = 0;    // Windows: the job object holding it and its children
};

// Starts `program` with `arguments` in `directory`, its output and errors into the two files.
Process startProcess(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& directory, const std::string& outFile, const std::string& errFile);

// Waits for the process to end; past `seconds`, or when a signal (on Windows Ctrl-C or
// Ctrl-Break) asks the run to stop, stops it and everything it started. Returns its exit status (POSIX: 128 + signal
// when a signal ended it); -1 with `failure` when how it ended cannot be learnt.
int waitProcess(Process& process, double seconds, bool& timedOut);

// The tool beside the stand-in's own program.
std::string toolBeside();
