// The tilt's trigonometry: atan2, sin and cos correctly rounded, so that every build of the
// tool, on every platform, gives the same bytes.
#pragma once

// atan2(y, x), the double nearest the exact value, for finite x and y; with an infinite or
// NaN argument, what the C library gives.
double trigAtan2(double y, double x);

// sin(x) and cos(x), each the double nearest the exact value, for |x| <= 10 (more than the
// 3 pi a tilt can reach); beyond, and for infinities and NaN, what the C library gives.
void trigSinCos(double x, double* sine, double* cosine);
