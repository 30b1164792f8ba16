// holdfile: holds a file open for a while, as a virus scanner, an indexer or the host itself
// would, so that the tool's runs meet a file that another program holds.
// Usage: holdfile FILE SHARE SECONDS READY [WHEN]
//   SHARE   what others may do meanwhile: any of r (read), w (write) and d (delete or
//           rename), or - for nothing; with x the file is also marked for deletion at once,
//           so that it stays, pending deletion, until it is let go
//   SECONDS how long it is held from when it was grabbed
//   READY   a file created once FILE is held, or at once with a or d
//   WHEN    a: FILE is grabbed the moment it appears, as a virus scanner grabs a new file;
//           d: the moment it holds data; l: let go for 1 ms every 300 ms, as an indexer
//           opens it again and again
// The handle follows the file through renames. Status 0 after letting go; 1 when FILE
// cannot be held, with the Windows error code.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static std::wstring wide(const char* text)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring result(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1)
        MultiByteToWideChar(CP_UTF8, 0, text, -1, &result[0], n);
    return result;
}

static int fail(const char* what, const char* name)
{
    std::fprintf(stderr, "holdfile: cannot %s %s: error %lu\n", what, name, GetLastError());
    return 1;
}

static void signal(const char* name)
{
    HANDLE ready = CreateFileW(wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (ready == INVALID_HANDLE_VALUE)
        std::exit(fail("create", name));
    CloseHandle(ready);
}

int main(int argc, char** argv)
{
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: holdfile FILE SHARE SECONDS READY [WHEN]\n");
        return 2;
    }
    const char* when = argc == 6 ? argv[5] : "";
    bool appear = std::strchr(when, 'a') || std::strchr(when, 'd'), data = std::strchr(when, 'd') != nullptr;
    bool loop = std::strchr(when, 'l') != nullptr;
    DWORD share = 0;
    bool pending = std::strchr(argv[2], 'x') != nullptr;
    share |= std::strchr(argv[2], 'r') ? FILE_SHARE_READ : 0;
    share |= std::strchr(argv[2], 'w') ? FILE_SHARE_WRITE : 0;
    share |= std::strchr(argv[2], 'd') ? FILE_SHARE_DELETE : 0;
    std::wstring file = wide(argv[1]);
    auto grab = [&] {
        HANDLE h = CreateFileW(file.c_str(), GENERIC_READ | (pending ? DELETE : 0), share, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        LARGE_INTEGER size;
        if (h != INVALID_HANDLE_VALUE && data && (!GetFileSizeEx(h, &size) || size.QuadPart == 0)) {
            CloseHandle(h);
            h = INVALID_HANDLE_VALUE;
        }
        return h;
    };
    if (appear)
        signal(argv[4]);
    HANDLE held = grab();
    for (ULONGLONG giveUp = GetTickCount64() + 30000; appear && held == INVALID_HANDLE_VALUE;) {
        if (GetTickCount64() > giveUp)
            return fail("see", argv[1]);
        SwitchToThread();
        held = grab();
    }
    if (held == INVALID_HANDLE_VALUE)
        return fail("open", argv[1]);
    FILE_DISPOSITION_INFO dispose = {TRUE};
    if (pending && !SetFileInformationByHandle(held, FileDispositionInfo, &dispose, sizeof dispose))
        return fail("mark for deletion", argv[1]);
    if (!appear)
        signal(argv[4]);
    ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(std::atof(argv[3]) * 1000);
    while (loop && GetTickCount64() + 300 < end) {
        Sleep(300);
        CloseHandle(held);
        Sleep(1);
        while ((held = grab()) == INVALID_HANDLE_VALUE && GetTickCount64() < end)
            Sleep(1);
    }
    ULONGLONG now = GetTickCount64();
    if (now < end)
        Sleep(static_cast<DWORD>(end - now));
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);
    return 0;
}
