// Holds a file open for a while, as a virus scanner or a viewer does, with the sharing asked
// for. Usage: hold_file PATH none|read|all SECONDS. Writes "held" on standard output once the
// file is open, and ends when the time is up.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4)
        return 2;
    DWORD share = std::wcscmp(argv[2], L"none") == 0   ? 0
                  : std::wcscmp(argv[2], L"read") == 0 ? FILE_SHARE_READ
                                                       : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("error %lu\n", GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::wcstod(argv[3], nullptr) * 1000));
    CloseHandle(file);
    return 0;
}
