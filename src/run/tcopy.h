// The line-by-line copy of one text file into another.
#pragma once

// Copies `source` into `destination` (created or emptied) and returns the lines carried,
// stopping after the first line beyond the record limit. Ends the process with status -1
// when either file cannot be opened, and with 1 when the destination cannot be written.
unsigned int Tcopy(const char* source, const char* destination);
