// The exchange-file reader: takes every record from `fp` and writes the command stream to `fpw`.
#pragma once

// Reads at most `jd_limit` records. `jd_xmax`, the record count, only shows in the traces.
int QX_PATTERN(unsigned int jd_xmax, unsigned int jd_limit);
