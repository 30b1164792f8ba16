// The plane geometry the stand-in shares between drawings, the exchange and the picture.
#pragma once

struct Point {
    double x, y;
};

struct Segment {
    Point a, b;
};
