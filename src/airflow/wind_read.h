// The "WindP Profile" section of the project file and the fits of its profiles.
#ifndef FLOWMIR_AIRFLOW_WIND_READ_H
#define FLOWMIR_AIRFLOW_WIND_READ_H

#include "airflow/wpf.h"
#include "support/heap.h"

// Reads the section into WpfLst/nwpf, records from *pool; returns the profile count.
int wind_read(FlowmirState* fms, MemBlock** pool);

// Releases the index array; the profiles stay in their block list.
void wind_free_list(FlowmirState* fms);

// Periodic cubic spline through (x[i], y[i]), i = 0..n-1, y[n-1] equal to y[0]; fills seg[0..n-1].
// 1 when fitted.
int wp_ccspl(FlowmirState* fms, int n, const float* x, const float* y, WpSeg* seg);

// Trigonometric coefficients from the values at 0, 90, 180, 270 and 360 degrees; 1 when all five
// angles were found (trig unchanged otherwise).
int wp_htrig(int n, const float* x, const float* y, float* trig);

#endif
