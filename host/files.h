// Whole-file reading and writing with every call checked: a failure is never taken for the end.
#pragma once

#include <string>

// Reads the whole of `path` into `bytes`; false with `error` naming the path and the reason.
bool readWhole(const std::string& path, std::string& bytes, std::string& error);

// Writes `bytes` to a new file beside `path` and renames it over `path`, so that `path`
// holds either what it held before or all of `bytes`; false with `error` otherwise.
bool replaceFile(const std::string& path, const std::string& bytes, std::string& error);

// Writes `bytes` as the new file `path` (in a directory of the stand-in's own).
bool writeNew(const std::string& path, const std::string& bytes, std::string& error);
