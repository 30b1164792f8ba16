// Choice of the pivot and the turning of one line. The arithmetic keeps its order of
// operations: an equivalent formula would change the twelfth decimal the host reads.
#include "tilt/skew.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "output/records.h"
#include "common/state.h"
#include "tilt/trig.h"

namespace {

enum { FIRST_END = 1, MIDPOINT = 2, SECOND_END = 3 };

void entryTraces()
{
    std::printf("\n#----- SKEW_SEG()  command /P(%.2f)\n", ANGLE);
    std::printf("# Point ---- SKEW_SEG() --- iPOINTcnt<%d>----- \n", iPOINTcnt);
    for (int i = 0; i <= HPmax; ++i)
        std::printf("#     PX[%d]=%.1f PY[%d]=%.1f \n", i, PX[i], i, PY[i]);
    std::printf("#   (%d) (HPOINTx, HPOINTy)  (%.1f , %.1f)\n", iPOINT, HPOINTx, HPOINTy);
}

// The nearest wins; on a tie the first end goes before the second, and both before the
// midpoint. The comparisons are written so that a NaN distance falls as it always has.
int pivotMode(double d1, double d2, double dm)
{
    if (d1 <= d2)
        return d1 > dm ? MIDPOINT : FIRST_END;
    return d2 <= dm ? SECOND_END : MIDPOINT;
}

}  // namespace

int SKEW_SEG(unsigned int)
{
    if (isTest == 2)
        entryTraces();
    if (iPOINTcnt > 1)
        return 1;
    if (iPOINT > 1)
        return 2;

    if (ILINEx1 > ILINEx2) {
        std::swap(ILINEx1, ILINEx2);
        std::swap(ILINEy1, ILINEy2);
    }
    double x1 = ILINEx1, y1 = ILINEy1, x2 = ILINEx2, y2 = ILINEy2;

    double d1 = std::sqrt((x1 - HPOINTx) * (x1 - HPOINTx) + (y1 - HPOINTy) * (y1 - HPOINTy));
    double d2 = std::sqrt((x2 - HPOINTx) * (x2 - HPOINTx) + (y2 - HPOINTy) * (y2 - HPOINTy));
    double dx = (x1 + x2) * 0.5 - HPOINTx, dy = (y1 + y2) * 0.5 - HPOINTy;
    double dm = std::sqrt(dx * dx + dy * dy);
    int md = pivotMode(d1, d2, dm);

    double len = std::sqrt((x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2));
    double t = trigAtan2(y2 - y1, x2 - x1);
    double a = ANGLE * PAI / 180;
    if (isTest == 2) {
        std::printf("#   (ix1,iy1)---(ix2,iy2)  (%.1f, %.1f) -- (%.1f, %.1f)\n", x1, y1, x2, y2);
        std::printf("#   angl2(%.1f)=ANGLE(%.1f)  len(%.1f) md(%d)\n", a, ANGLE, len, md);
    }

    // Correctly rounded, so that every build gives the same bytes.
    double sinA, cosA;
    trigSinCos(md == SECOND_END ? t - a : t + a, &sinA, &cosA);
    double nx1 = x1, ny1 = y1, nx2 = x2, ny2 = y2;
    if (md == FIRST_END) {
        nx2 = x1 + len * cosA;
        ny2 = y1 + len * sinA;
    } else if (md == MIDPOINT) {
        double mx = x1 + 0.5 * (x2 - x1), my = y1 + 0.5 * (y2 - y1);
        double hx = 0.5 * len * cosA, hy = 0.5 * len * sinA;
        nx1 = mx - hx;
        ny1 = my - hy;
        nx2 = mx + hx;
        ny2 = my + hy;
    } else {
        // About the second end the line turns by -a, so the free end moves to the same side.
        nx1 = x2 - len * cosA;
        ny1 = y2 - len * sinA;
    }

    Sen(nx1, ny1, nx2, ny2);
    if (isTest == 1) {
        MojiOutD2(nx1, ny1, 1, md);
        MojiOutD2(nx2, ny2, 2, md);
    }
    if (isTest == 2) {
        std::printf("#   (x1,y1)---(x2,y2)  (%.1f, %.1f) --- (%.1f, %.1f)\n", nx1, ny1, nx2, ny2);
        double sinPlus, cosPlus;  // of t + a in every mode
        trigSinCos(t + a, &sinPlus, &cosPlus);
        std::printf("#   angl(%.1f) cos(%.3f) sin(%.3f)\n", 180 * t / PAI, cosPlus, sinPlus);
        std::printf("#   end\n\n");
    }
    return 0;
}
