// The slow path of the correctly rounded trigonometry: the same functions in binary fixed
// point of 256 and then 512 bits, each result with a proven bound on its error.
#pragma once

// sin(x) and cos(x), correctly rounded, for 2^-27 <= |x| <= 10.
void exactSinCos(double x, double* sine, double* cosine);

// atan2(y, x), correctly rounded, for finite nonzero x and y. `guess` is any double near
// atan(min(|x|,|y|) / max(|x|,|y|)), in [0, 1]; the closer, the fewer steps.
double exactAtan2(double y, double x, double guess);
