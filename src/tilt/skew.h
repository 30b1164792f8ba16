// The line tilt: turns the current line about its pivot nearest the indicated point.
#pragma once

// Turns the line held in ILINEx1..ILINEy2 by ANGLE degrees and writes it as a line record.
// Returns 0 when written, 1 when more than one point record was read, 2 when the point
// number is above 1; `jd_x`, the record index, is not used.
int SKEW_SEG(unsigned int jd_x);
