// Wind pressure profiles: the pressure coefficient of a wall as a function of the wind angle.
#ifndef FLOWMIR_AIRFLOW_WPF_H
#define FLOWMIR_AIRFLOW_WPF_H

#include <cstdint>

// Profile evaluation kinds.
enum { WPF_LINEAR = 1, WPF_SPLINE = 2, WPF_TRIG = 3 };

// Segment of a periodic spline: Cp = s0 + s1 t + s2 t^2 + s3 t^3 with t = angle - x.
struct WpSeg {
    float x, s0, s1, s2, s3;
};

struct Wpf {
    int16_t npts;
    int16_t type;  // WPF_LINEAR, WPF_SPLINE or WPF_TRIG
    float* azm;    // [0..npts-1] wind angles relative to the wall, degrees
    float* coef;   // [0..npts-1] pressure coefficients Cp
    WpSeg* seg;    // [0..npts-1] spline segments (type 2 only); the last holds x and s0
    float trig[4]; // C0..C3 of the trigonometric fit (type 3)
    int32_t nr;
};

#endif
