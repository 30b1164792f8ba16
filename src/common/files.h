// The run files by name, and the ways a run ends when one of them fails.
#pragma once

inline constexpr const char* HOST_FILE = "qxc_temp.txt";      // as the host leaves it
inline constexpr const char* FIRST_STEP = "QXC_x2x2.$$";      // the renaming goes through these
inline constexpr const char* SECOND_STEP = "QXC_x2x2.$$$";
inline constexpr const char* EXCHANGE_FILE = "QXC_TEMP.TXT";  // its working name
inline constexpr const char* WORK_FILE = "QXC_TEMP.$$$";      // the output work file
// The output copied here when another program holds the output work file at the copy back.
inline constexpr const char* COPY_FILE = "QXC_COPY.$$$";
// An earlier run's records, found under a renaming name, are kept as QXC_KEEP.001 and on.
inline constexpr const char* KEEP_FORMAT = "QXC_KEEP.%03d";
inline constexpr int MOST_KEPT = 999;

// The most records an exchange file may hold.
inline constexpr unsigned int RECORD_LIMIT = 50000;

// "Cannot open file: NAME \n" on standard error, and sayHeld(name) when the step gave up
// on a file that another program held.
void sayCannotOpen(const char* name);
// sayCannotOpen(name), then the process ends with `status`.
[[noreturn]] void cannotOpen(const char* name, int status);
// "Held by another program: NAME \n" on standard error.
void sayHeld(const char* name);
// "Records kept in: NAME \n" on standard error: the host's records could not be given back
// under its own name and lie under NAME.
void sayKept(const char* name);
// "Cannot write file: NAME \n" on standard error, then the process ends with status 1.
[[noreturn]] void cannotWrite(const char* name);
// "Cannot read file: NAME \n" on standard error, then the process ends with status 1.
[[noreturn]] void cannotRead(const char* name);
// "Record too long: line LINE of NAME \n" on standard error, then the process ends with status 1.
[[noreturn]] void recordTooLong(unsigned int line, const char* name);

// Opens the null device on each of the descriptors 0 to 2 that is closed, so that no run
// file takes its place and receives the console's output.
void keepStandardStreams();

// What stands under a name. Followed, a link counts as what it leads to, a dangling one as
// nothing; not followed, as A_LINK.
enum NameKind { ABSENT, REGULAR_FILE, A_LINK, OTHER_KIND };
NameKind kindOf(const char* name, bool follow);
// Whether both names lead to one file.
bool sameFile(const char* name, const char* other);

// Renames `from` over `to`, replacing it in one step also where `to` exists. On Windows a
// file held for a moment is waited for (heldForAMoment).
bool replaceFile(const char* from, const char* to);
// The same once, nothing waited for.
bool replaceOnce(const char* from, const char* to);
// Renames `from` to `to` only where nothing stands under `to`, waiting as replaceFile does.
bool moveFile(const char* from, const char* to);
// Copies the file `from` whole into `to`, created afresh (createFresh). Nothing is left
// under `to` when the copy fails.
bool copyFile(const char* from, const char* to);

#ifdef _WIN32
#include <cstring>
#include <string>
// A run file's name, all ASCII, as Windows' wide-character calls take it.
inline std::wstring wideName(const char* name)
{
    return std::wstring(name, name + std::strlen(name));
}
#endif
