// Files read and written as Windows text streams would, the same on every platform:
// CR LF is read as LF, every LF is written as CR LF, and no other byte changes.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// Opens `name` in binary mode for reading ("r") or writing ("w"). A directory cannot be
// opened for reading, as on Windows. Returns null on failure.
std::FILE* openText(const char* name, const char* mode);

// Reads one whole line, however long, into `line`, its line feed kept; a CR directly before
// the line feed is dropped. Returns false when nothing could be read.
bool readLine(std::FILE* f, std::string& line);

// Writes `text`, every line feed as CR LF.
void writeText(std::FILE* f, std::string_view text);

// Flushes and closes `f`; false when any write, the flush or the close failed.
bool closeText(std::FILE* f);
