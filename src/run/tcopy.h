// The counting copy of the exchange file into the output work file.
#pragma once

// Returns the number of lines of `source`, counting no further than the first line beyond
// the record limit, and leaves `destination` created anew and empty. Ends the process with
// status -1 when either file cannot be opened, with status 1 when a read fails or a record
// is too long.
unsigned int Tcopy(const char* source, const char* destination);
