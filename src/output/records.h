// The two writers of the output command stream, and the echo of a record read.
#pragma once

#include <string_view>

// A line record: " x1 y1 x2 y2 " with twelve decimals each.
void Sen(double x1, double y1, double x2, double y2);
// A text label at (x, y) whose text is "end,mode".
void MojiOutD2(double x, double y, int end, int mode);
// The record exactly as read, zero bytes included; one without a line end gets one.
void Echo(std::string_view record);
