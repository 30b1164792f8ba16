// Waiting out another program's moment on a run file, on Windows; elsewhere nothing is retried.
#include "common/held.h"

namespace {
bool lastHeld = false;
}

bool gaveUpOnHeld()
{
    return lastHeld;
}

#ifndef _WIN32
bool heldByAnother(const char*)
{
    return false;
}
#else
#include <windows.h>

#include "common/files.h"

namespace {

constexpr ULONGLONG WAIT_MILLIS = 50;
ULONGLONG deadline = 0;  // 0 until the run's first wait

// A directory, or a file marked read-only, answers access denied for good.
bool refusesForGood(const char* name)
{
    if (!name)
        return false;
    DWORD attributes = GetFileAttributesW(wideName(name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
}

}  // namespace

bool heldForAMoment(const char* name, const char* other)
{
    DWORD error = GetLastError();
    lastHeld = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
               (error == ERROR_ACCESS_DENIED && !refusesForGood(name) && !refusesForGood(other));
    bool again = false;
    if (lastHeld) {
        // The clock, not a count of sleeps: a sleep lasts at least one timer tick, often 15.6 ms more.
        ULONGLONG now = GetTickCount64();
        if (!deadline)
            deadline = now + RUN_WAIT_MILLIS;
        if (now < deadline) {
            Sleep(static_cast<DWORD>(deadline - now < WAIT_MILLIS ? deadline - now : WAIT_MILLIS));
            again = true;
        }
    }
    SetLastError(error);
    return again;
}

bool heldByAnother(const char* name)
{
    // Opened as a rename or removal would open it, sharing everything with the others.
    HANDLE handle = CreateFileW(wideName(name).c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return false;
    }
    DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}
#endif
