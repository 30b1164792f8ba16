// UTF-8 and UTF-16 at Windows' calls, and the reasons the system gives for a failure.
#include "base/system.h"

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

#ifdef _WIN32
int systemError()
{
    return WINDOWS_ERROR + static_cast<int>(GetLastError());
}

std::wstring widened(const std::string& utf8)
{
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(size > 0 ? size : 0, L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

std::string narrowed(const std::wstring& wide)
{
    int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size, nullptr,
                            nullptr);
    return utf8;
}

namespace {

std::wstring fullPath(const std::wstring& path)
{
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(size < full.size() ? size : 0);
    return full.empty() ? path : full;
}

bool startsWith(const std::wstring& text, const wchar_t* head)
{
    return text.compare(0, std::wcslen(head), head) == 0;
}

}  // namespace

std::wstring widePath(const std::string& path)
{
    std::wstring wide = widened(path);
    if (startsWith(wide, L"\\\\?\\") || startsWith(wide, L"\\\\.\\"))
        return wide;
    std::wstring full = fullPath(wide);
    // Only where it must: a path whose full form is short goes as it came.
    if (full.size() < MAX_PATH - 12 || startsWith(full, L"\\\\?\\") || startsWith(full, L"\\\\.\\"))
        return wide;
    return startsWith(full, L"\\\\") ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
}

bool isDeviceName(const std::string& path)
{
    std::wstring wide = widened(path);
    return startsWith(wide, L"\\\\.\\") || startsWith(fullPath(wide), L"\\\\.\\");
}

std::vector<std::string> utf8Arguments(int argc, wchar_t** argv)
{
    std::vector<std::string> words;
    for (int i = 0; i < argc; ++i)
        words.push_back(narrowed(argv[i]));
    return words;
}

namespace {

UINT consolePage = 0;

}  // namespace

void speakUtf8()
{
    DWORD mode;
    bool console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) ||
                   GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode);
    consolePage = console ? GetConsoleOutputCP() : 0;
    if (consolePage == 0 || consolePage == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8))
        return;
    std::atexit([] { SetConsoleOutputCP(consolePage); });
}

namespace {

std::string windowsReason(DWORD code)
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = text ? narrowed(text) : "Windows error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.' ||
                                message.back() == ' '))
        message.pop_back();
    return message;
}

}  // namespace
#endif

std::string reasonOf(int code)
{
#ifdef _WIN32
    if (code >= WINDOWS_ERROR)
        return windowsReason(static_cast<DWORD>(code - WINDOWS_ERROR));
#endif
    return std::strerror(code);
}

std::string reasonOf(const std::error_code& code)
{
#ifdef _WIN32
    if (code.category() == std::system_category())
        return windowsReason(static_cast<DWORD>(code.value()));
#endif
    return code.message();
}
