// A run file that another program holds for a moment, on Windows: the step is tried again.
#pragma once

#ifdef _WIN32
// The most a whole run waits for other programs' moments, all steps together.
inline constexpr unsigned long RUN_WAIT_MILLIS = 5000;

// Called when a Windows call on the run files `name` and `other` (null for one file) has
// just failed. Whether Windows said that another program holds a file (a sharing violation,
// a lock violation, or access denied where neither file is a directory or read-only):
// virus scanners, indexers, sync clients and the host itself open files for a moment. If
// so, waits a short while and returns true, until the run has waited RUN_WAIT_MILLIS in
// all, measured by the clock from its first wait. The last error is kept.
bool heldForAMoment(const char* name, const char* other = nullptr);
#endif

// Whether another program holds `name` so that it cannot be renamed or removed now; only
// Windows lets a program hold a file against others.
bool heldByAnother(const char* name);

// Whether the last step given up was refused because another program held a file.
bool gaveUpOnHeld();
