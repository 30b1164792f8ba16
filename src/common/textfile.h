// Files read and written as Windows text streams would, the same on every platform:
// CR LF is read as LF, every LF is written as CR LF, and no other byte changes.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// The longest record taken whole, its line feed included: some 4,000 times the longest a
// host writes, and small enough that a run's memory stays bounded.
inline constexpr std::size_t RECORD_MAX = 1 << 20;

// Opens `name` for reading, unbuffered (records are read in blocks). Only a regular file
// is opened, as on Windows: a directory, FIFO or device is refused, a FIFO without
// waiting for a writer. Returns null on failure.
std::FILE* openRead(const char* name);

// Creates `name` anew for writing: whatever stands under the name is removed, and the file
// is created exclusively, so that nothing is written through a link into another file.
// Returns null on failure.
std::FILE* createFresh(const char* name);

// Whether `name` can be opened for writing; the file is not changed.
bool writable(const char* name);

enum ReadResult { RECORD, END_OF_FILE, READ_FAILED, RECORD_TOO_LONG };

// Reads the records of `f`, from where it stands, in blocks from now on.
void startReading(std::FILE* f);

// Counts the records of `f` from its start as readRecord would read them, `most` at most.
// RECORD when it stopped at `most`, END_OF_FILE at the end of the file; on a failed read or
// a record too long, `count` holds the records before it.
ReadResult countRecords(std::FILE* f, unsigned int most, unsigned int* count);

// The next record, however long up to RECORD_MAX, its line feed kept and a CR directly
// before the line feed dropped, into `line`. The record is followed by a zero byte and stays valid until the next call. A failed read is never the
// end of the file.
ReadResult readRecord(std::string_view* line);


// Writes `text`, every line feed as CR LF. What is written reaches the file at the latest
// when it is flushed or closed.
void writeText(std::FILE* f, std::string_view text);

// `text`, which holds no line feed, then a line end: a record as the reader gave it, less
// its line feed, or one composed whole.
void writeLine(std::FILE* f, std::string_view text);

// Hands on all that was written to `f`; false when any write or the flush failed.
bool flushText(std::FILE* f);

// Flushes and closes `f`; false when any write, the flush or the close failed.
bool closeText(std::FILE* f);
