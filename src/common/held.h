// A run file that another program holds for a moment, on Windows: the step is tried again.
#pragma once

#ifdef _WIN32
// Called when a Windows call on a run file has just failed. Whether Windows said that
// another program holds the file (a sharing violation, a lock violation or access denied):
// virus scanners, indexers, sync clients and the host itself open files for a moment. If
// so, waits a short while and returns true, until the step has waited some two seconds in
// all; `waited` counts the step's waits and starts at 0.
bool heldForAMoment(int* waited);
#endif
