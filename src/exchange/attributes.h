// The host's attributes: the first value of each becomes its initial value, restored at the end.
#pragma once

// Reads the attribute record `text` ("lc", "lt", "ly", "lg", "pn", "cn..."), which ends at
// its first zero byte, into its working value and captures the initial value if still open.
void captureAttribute(const char* text);

// Writes the restore records that give the host its initial attributes back.
void IniZokusei();
