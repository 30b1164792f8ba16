// Text from the tool's world (the host's code page, Shift_JIS) made into valid UTF-8.
#pragma once

#include <string>
#include <string_view>

// `bytes` as UTF-8: decoded from Shift_JIS when they are that; otherwise the runs that are
// valid UTF-8 kept and every other byte written as \xHH.
std::string hostText(const std::string& bytes);

// `text` as a message quotes it: its first 60 bytes, and "..." when there is more. A file
// that is no drawing may be one line of megabytes.
std::string excerpt(std::string_view text);
