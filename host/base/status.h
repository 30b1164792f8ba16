// The stand-in's exit statuses, and ending the run with one.
#pragma once

#include <string>

// Exit statuses; the manual page lists them.
enum Status { OK = 0, TOOL_FAILED = 1, USAGE = 2, DRAWING_REFUSED = 3, NOT_WRITTEN = 4 };

// Says `message` on standard error and ends the run with `status`.
[[noreturn]] void fail(int status, const std::string& message);

