// Dense matrices: LU factorisation without pivoting and its solution, listings, and the
// exported helpers for hosts (pivoting Gaussian elimination, polynomial fit and root).
// Matrices are row-pointer arrays a[1..n][1..n] (alc_mc).
#ifndef FLOWMIR_AIRFLOW_DENSE_H
#define FLOWMIR_AIRFLOW_DENSE_H

#include <cstdio>

#include "engine/state.h"

// Factorises a in place into L (unit lower, below the diagonal) and U (diagonal and above)
// by Doolittle elimination without pivoting; the diagonal receives the inverse pivots.
// A pivot below machine epsilon in magnitude is reported (zero: FATAL). Returns 0.
int luf_ge(FlowmirState* fms, double** a, int n);
// Solves L U x = b in place in b[1..n] with a factorised by luf_ge.
void lus_ge(FlowmirState* fms, double** a, double* b, int n);
// Lists a[1..n][1..n] in the log.
void ge_dump(FILE* log, double** a, int n, const char* title);

// Gaussian elimination with row pivoting on the augmented matrix a[1..n][1..n+1]; the
// solution replaces column n+1. Returns 0, or 1 on a zero pivot.
int gaussp(FlowmirState* fms, double** a, int n);
// Least-squares polynomial c[0..d] (c[k] multiplies x^k) through the points x[1..m], y[1..m].
// Returns 0; 1 when m - 1 < d; 2 when the normal equations are singular.
int poly_fit(FlowmirState* fms, double* c, const double* x, const double* y, int m, int d);
// Root of the polynomial c[0..d] by Newton's method from x, to |dx| <= tolx and |y| <= toly.
double poly_zero(FlowmirState* fms, const double* c, int d, double x, double tolx, double toly);

#endif
