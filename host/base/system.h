// The system's side of text: UTF-8 within the stand-in, UTF-16 at Windows' calls, and the
// reason the system itself gives for a failed call.
#pragma once

#include <string>
#include <system_error>
#include <vector>

// The reason for the failure an errno value `code` holds: strerror's text, or on Windows,
// for a code from systemError(), Windows' own message without its full stop, the file or
// program it speaks of ("%1") filled in with `name`.
std::string reasonOf(int code, const std::string& name = "");
// The reason a std::error_code holds, Windows' own message for a Windows code.
std::string reasonOf(const std::error_code& code, const std::string& name = "");

#ifdef _WIN32
// errno values from here up carry a Windows error code, so that a message gives Windows'
// own reason and not the C library's nearest errno.
constexpr int WINDOWS_ERROR = 1 << 24;

// WINDOWS_ERROR plus the calling thread's last Windows error.
int systemError();

std::wstring widened(const std::string& utf8);
std::string narrowed(const std::wstring& wide);

// `path` as the wide calls take it; a long one as "\\?\" and its full path, which Windows
// takes beyond 260 characters. Devices ("NUL", "CON", "\\.\...") stay as they are.
std::wstring widePath(const std::string& path);

// Whether Windows takes `path` for a device, such as NUL, CON or COM1, in any folder.
bool isDeviceName(const std::string& path);

// The command line as Windows hands it over, in UTF-16, made UTF-8: names arrive whole
// whatever the code page.
std::vector<std::string> utf8Arguments(int argc, wchar_t** argv);

// Has a console the stand-in writes to show its UTF-8 as such, and puts the console's code
// page back when the program ends.
void speakUtf8();
#endif
