// The steps of one run, in the order main takes them. A step that fails ends the process.
#pragma once

// Hands every argument that begins with "-" or "/" to opt; skips the others.
void readSwitches(char** argv);
// Brings "qxc_temp.txt" to "QXC_TEMP.TXT" through the two intermediate names, after
// keeping what an earlier run left under those; a rename that fails gives the host's
// records back under "qxc_temp.txt" and ends the run with status -1.
void takeOverExchangeFile();
// The record count: the lines of the exchange file, counted as the reader reads them.
unsigned int countRecords();
// Creates the output work file afresh as `fpw`.
void openOutputFile();
// Over the record limit, the record-limit error record alone and status 1.
void refuseOverLimit(unsigned int jd_xmax);
// Opens the exchange file as `fp`.
void openExchangeFile();
// The traces of debug levels 3 (console) and 1 (output command stream) after the reader.
void endOfRunTraces(unsigned int jd_xmax);
// Closes `fp`, then `fpw`; a write that failed ends the run before anything is replaced.
void closeRunFiles();
// At debug level 0 the output work file replaces the exchange file, if that can be written.
void copyBack();
