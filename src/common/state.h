// The run state: every program-wide variable of one run, with its start value.
#pragma once

#include <cstdio>

// Settings. Only the switch parser writes them, and only before the first file is touched.
inline double ANGLE = 10.0;  // tilt angle in degrees (p)
inline int isTest = 0;       // debug level 0..6 (t)
inline double Amp = 1.0;     // a
inline int iBOKE = 3;        // b
inline int iGRAY = 3;        // c
inline int iDivN = 2;        // d
inline int exiro = 0;        // e, tens
inline int exsyu = 0;        // e, units
inline int iPEN1 = 3;        // g
inline int iPEN2 = 1;        // h
inline int iMode = 1;        // m
inline int isNUM = 0;        // n
inline int iOFFSET = 2;      // o
inline int isSunpo = 0;      // s
inline int iMOJI_w = 5;      // w

// Run files and counters.
inline std::FILE* fp = nullptr;   // "QXC_TEMP.TXT", read by the reader
inline std::FILE* fpw = nullptr;  // "QXC_TEMP.$$$", the output command stream
inline int stepcnt = 0;           // last processing step the reader reached (1, 2 or 3)
inline double PAI = 0.0;          // pi, set by main at the start of the run

// Current line and points, written by the reader and (line ends) by the tilt.
inline double ILINEx1 = 0.0, ILINEy1 = 0.0, ILINEx2 = 0.0, ILINEy2 = 0.0;
inline double HPOINTx = 0.0, HPOINTy = 0.0;  // the indicated point
inline int iPOINT = 0;                       // point number of the last point record
inline int iPOINTcnt = 0;                    // point records read
inline constexpr int HPmax = 3;              // highest entry of the point table
inline double PX[HPmax + 1] = {0.0, 0.0, 0.0, 0.0};
inline double PY[HPmax + 1] = {0.0, 0.0, 0.0, 0.0};

// Attributes: working values, and the initial values captured from the exchange file.
// An initial integer value of 20 means "not captured yet".
inline int COLOR = 1, TYPE = 1, LAYER = 0, GROUP = 0, TENS = 1, MOJIS = 1;
inline double MOJI_W = 0.0, MOJI_H = 0.0, MOJI_D = 0.0;
inline int MOJI_C = 0;
inline int COLORi = 20, TYPEi = 20, LAYERi = 20, GROUPi = 20, TENSi = 20, MOJISi = 20;
// The text width starts below 0 so that no text restore is written until one is captured.
inline double MOJIWi = -20.0, MOJIHi = 20.0, MOJIDi = 20.0;
inline int MOJICi = 20;
