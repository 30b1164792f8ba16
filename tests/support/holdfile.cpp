// holdfile: holds a file open for a while, as a virus scanner, an indexer or the host itself
// would, so that the tool's runs meet a file that another program holds.
// Usage: holdfile FILE SHARE SECONDS READY
//   SHARE   what others may do meanwhile: any of r (read), w (write) and d (delete or
//           rename), or - for nothing; with x the file is also marked for deletion at once,
//           so that it stays, pending deletion, until it is let go
//   READY   a file created once FILE is held
// Status 0 after letting go; 1 when FILE cannot be held, with the Windows error code.
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

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: holdfile FILE SHARE SECONDS READY\n");
        return 2;
    }
    DWORD share = 0;
    bool pending = std::strchr(argv[2], 'x') != nullptr;
    share |= std::strchr(argv[2], 'r') ? FILE_SHARE_READ : 0;
    share |= std::strchr(argv[2], 'w') ? FILE_SHARE_WRITE : 0;
    share |= std::strchr(argv[2], 'd') ? FILE_SHARE_DELETE : 0;
    HANDLE held = CreateFileW(wide(argv[1]).c_str(), GENERIC_READ | (pending ? DELETE : 0), share, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE)
        return fail("open", argv[1]);
    FILE_DISPOSITION_INFO dispose = {TRUE};
    if (pending && !SetFileInformationByHandle(held, FileDispositionInfo, &dispose, sizeof dispose))
        return fail("mark for deletion", argv[1]);
    HANDLE ready = CreateFileW(wide(argv[4]).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (ready == INVALID_HANDLE_VALUE)
        return fail("create", argv[4]);
    CloseHandle(ready);
    Sleep(static_cast<DWORD>(std::atof(argv[3]) * 1000));
    CloseHandle(held);
    return 0;
}
