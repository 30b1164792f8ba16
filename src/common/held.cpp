// Waiting out another program's moment on a run file, on Windows; elsewhere nothing is retried.
#include "common/held.h"

#ifdef _WIN32
#include <windows.h>

namespace {
constexpr DWORD WAIT_MILLIS = 50;
constexpr int MOST_WAITS = 40;  // two seconds
}  // namespace

bool heldForAMoment(int* waited)
{
    DWORD error = GetLastError();
    bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
    if (!held || *waited >= MOST_WAITS)
        return false;
    Sleep(WAIT_MILLIS);
    ++*waited;
    return true;
}
#endif
