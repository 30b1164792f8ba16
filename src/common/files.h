// The run files by name, and the ways a run ends when one of them fails.
#pragma once

inline constexpr const char* HOST_FILE = "qxc_temp.txt";      // as the host leaves it
inline constexpr const char* FIRST_STEP = "QXC_x2x2.$$";      // the renaming goes through these
inline constexpr const char* SECOND_STEP = "QXC_x2x2.$$$";
inline constexpr const char* EXCHANGE_FILE = "QXC_TEMP.TXT";  // its working name
inline constexpr const char* WORK_FILE = "QXC_TEMP.$$$";      // the output work file

// The most records an exchange file may hold.
inline constexpr unsigned int RECORD_LIMIT = 50000;

// "Cannot open file: NAME \n" on standard error.
void sayCannotOpen(const char* name);
// sayCannotOpen(name), then the process ends with `status`.
[[noreturn]] void cannotOpen(const char* name, int status);
// "Cannot write file: NAME \n" on standard error, then the process ends with status 1.
[[noreturn]] void cannotWrite(const char* name);
// "Cannot read file: NAME \n" on standard error, then the process ends with status 1.
[[noreturn]] void cannotRead(const char* name);
// "Record too long: line LINE of NAME \n" on standard error, then the process ends with status 1.
[[noreturn]] void recordTooLong(unsigned int line, const char* name);

// Opens the null device on each of the descriptors 0 to 2 that is closed, so that no run
// file takes its place and receives the console's output.
void keepStandardStreams();

// Renames `from` over `to`, replacing it in one step also where `to` exists. On Windows a
// file held for a moment is waited for (heldForAMoment).
bool replaceFile(const char* from, const char* to);

#ifdef _WIN32
#include <cstring>
#include <string>
// A run file's name, all ASCII, as Windows' wide-character calls take it.
inline std::wstring wideName(const char* name)
{
    return std::wstring(name, name + std::strlen(name));
}
#endif
