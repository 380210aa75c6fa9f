// Cubic-spline curves of measured points: fit, evaluation and check.
#ifndef FLOWMIR_AIRFLOW_SPLINE_H
#define FLOWMIR_AIRFLOW_SPLINE_H

#include "airflow/afe.h"

// Curve kinds of the check.
enum {
    CSF_AIRFLOW = 1,    // must increase everywhere
    CSF_BOUNDED = 2,    // stays within [0, 1]
    CSF_DECREASING = 3, // stays within [0, 1] and never rises
};

// Fits pts[0..n-1] (x strictly increasing); 0 when fitted, 1 when not.
int CSFinit(FlowmirState* fms, int n, CsfPoint* pts);

// y(x) on the curve; the slope and, when asked, the curvature. seg is the search start and
// receives the segment used.
double CSFintrp(double x, int n, const CsfPoint* pts, int* seg, double* dydx, double* d2ydx2);

// Checks a fitted curve for its kind, listing it in the log; 1 when it fails.
// segFlags and segReasons (n-1 entries each) are optional.
int CSFchk(FlowmirState* fms, const char* name, int n, const CsfPoint* pts, int kind, int* segFlags,
           const char** segReasons);

#endif
