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

// Windows' message for `code`, its inserts left as they are and "%1" then filled with
// `name`: told to fill them, FormatMessage would read arguments it was never given.
std::string windowsReason(DWORD code, const std::string& name)
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = text ? narrowed(text) : "Windows error " + std::to_string(code);
    LocalFree(text);
    const std::string filled = name.empty() ? "the file" : name;
    for (std::size_t at = 0; (at = message.find("%1", at)) != std::string::npos; at += filled.size())
        message.replace(at, 2, filled);
    // Its own full stop goes, a Japanese "。" as an English ".": the stand-in's "; " or line end follows.
    for (bool trimmed = true; trimmed && !message.empty();) {
        trimmed = false;
        for (const char* end : {"\n", "\r", ".", " ", "\u3002", "\uff0e", "\u3000"})
            if (message.size() >= std::strlen(end) &&
                message.compare(message.size() - std::strlen(end), std::string::npos, end) == 0) {
                message.resize(message.size() - std::strlen(end));
                trimmed = true;
            }
    }
    return message;
}

}  // namespace
#endif

std::string reasonOf(int code, const std::string& name)
{
#ifdef _WIN32
    if (code >= WINDOWS_ERROR)
        return windowsReason(static_cast<DWORD>(code - WINDOWS_ERROR), name);
#endif
    (void)name;
    return std::strerror(code);
}

std::string reasonOf(const std::error_code& code, const std::string& name)
{
#ifdef _WIN32
    if (code.category() == std::system_category())
        return windowsReason(static_cast<DWORD>(code.value()), name);
#endif
    (void)name;
    return code.message();
}
