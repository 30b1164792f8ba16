// The signals that end a run, taken so that the run can end cleanly: its tool stopped, its
// scratch directories and side files removed, every output as it was.
#pragma once

#include "base/status.h"

// Takes every signal whose default ends the process and that is not a fault of the program's
// own: SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE and the like. One
// ignored at the start stays ignored, as under nohup. Calls are not restarted: a wait or a
// write they break off sees the signal. SIGXFSZ is ignored: a write beyond a file size limit
// fails, and says so, like any failed write.
void takeSignals();

// The signal that asked the run to stop, 0 while none has.
int stopSignal();

// True while no signal has asked the run to stop; then false, with 128 + its number (SIGPIPE:
// a failed write, status 4) and `what` said of the outputs.
bool carryOn(Failure& failure, const char* what = "nothing is written");
