// Small vector routines of the solvers and a few numeric helpers exported for hosts.
// The suffix tells the index base: 0 runs i = 0..n-1, 1 runs i = 1..n.
#ifndef FLOWMIR_AIRFLOW_VECOPS_H
#define FLOWMIR_AIRFLOW_VECOPS_H

// y[i] += a*x[i], i = 0..n-1.
void daxpy0(int n, const double* x, double* y, double a);
// y[i] = a*y[i] + x[i], i = 1..n.
void daypx1(int n, const double* x, double* y, double a);
// Sum of x[i]*y[i], i = 0..n-1.
double ddot0(int n, const double* x, const double* y);
// Sum of x[i]^2, i = 1..n.
double dsqr1(int n, const double* x);
// y[i] = x[i]*y[i], i = 1..n.
void dxy1(int n, const double* x, double* y);

// x rounded to k significant digits; 0 stays 0.
double round_to_digits(double x, int k);
// 1 when a and b differ by more than 1e-6 of |a + b|, else 0.
int value_cmp(double a, double b);
// Swaps two pointers.
void ptr_xchg(void** p, void** q);

#endif
