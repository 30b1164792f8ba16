// Signals set a flag and nothing else; the steps that may wait look at it.
#include "base/stop.h"

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

volatile std::sig_atomic_t stopping = 0;

extern "C" void askToStop(int signal)
{
    if (stopping == 0)
        stopping = signal;
}

#ifdef _WIN32
// Ctrl-C and Ctrl-Break stop the run as SIGINT does elsewhere, its scratch removed. Where
// the stand-in was started with Ctrl-C ignored, Windows does not call this for it.
BOOL WINAPI onConsoleStop(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    askToStop(event == CTRL_C_EVENT ? SIGINT : SIGBREAK);
    return TRUE;
}
#endif

}  // namespace

void takeSignals()
{
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsoleStop, TRUE);
#else
    signal(SIGXFSZ, SIG_IGN);
    struct sigaction action = {}, old = {};
    action.sa_handler = askToStop;
    action.sa_flags = 0;  // no SA_RESTART: a call that waits (open, read, poll) breaks off
    sigemptyset(&action.sa_mask);
    // SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS and SIGABRT stay as they are: they
    // are faults of the program's own, after which nothing it does can be trusted.
    std::vector<int> stops = {SIGINT,  SIGTERM,  SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2,
                              SIGALRM, SIGPIPE, SIGVTALRM, SIGPROF, SIGXCPU};
#ifdef SIGPOLL
    stops.push_back(SIGPOLL);
#endif
#ifdef SIGPWR
    stops.push_back(SIGPWR);
#endif
#ifdef SIGSTKFLT
    stops.push_back(SIGSTKFLT);
#endif
#ifdef SIGRTMIN
    for (int realTime = SIGRTMIN; realTime <= SIGRTMAX; ++realTime)
        stops.push_back(realTime);
#endif
    for (int stop : stops)
        if (sigaction(stop, &action, &old) == 0 && old.sa_handler == SIG_IGN)
            sigaction(stop, &old, nullptr);
#endif
}

int stopSignal()
{
    return stopping;
}

bool carryOn(Failure& failure, const char* what)
{
    int signal = stopping;
    if (signal == 0)
        return true;
#ifdef _WIN32
    std::string name;
#else
    std::string name = std::string(" (") + strsignal(signal) + ")";
    if (signal == SIGPIPE)
        return failed(failure, NOT_WRITTEN, "an output's reader has gone (signal 13, SIGPIPE); " + std::string(what));
#endif
    return failed(failure, 128 + signal, "stopped by signal " + std::to_string(signal) + name + "; " + what);
}
