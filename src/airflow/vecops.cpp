// Vector routines of the solvers and numeric helpers.
#include "airflow/vecops.h"

#include <cmath>

void daxpy0(int n, const double* x, double* y, double a)
{
    for (int i = 0; i < n; i++) y[i] += a * x[i];
}

void daypx1(int n, const double* x, double* y, double a)
{
    for (int i = 1; i <= n; i++) y[i] = a * y[i] + x[i];
}

double ddot0(int n, const double* x, const double* y)
{
    double sum = 0.0;
    for (int i = 0; i < n; i++) sum += x[i] * y[i];
    return sum;
}

double dsqr1(int n, const double* x)
{
    double sum = 0.0;
    for (int i = 1; i <= n; i++) sum += x[i] * x[i];
    return sum;
}

void dxy1(int n, const double* x, double* y)
{
    for (int i = 1; i <= n; i++) y[i] = x[i] * y[i];
}

double round_to_digits(double x, int k)
{
    if (x == 0.0) return 0.0;
    double s = pow(10.0, k - ceil(log10(fabs(x))));
    return round(x * s) / s;
}

int value_cmp(double a, double b)
{
    return fabs(a - b) > 1e-6 * fabs(a + b) ? 1 : 0;
}

void ptr_xchg(void** p, void** q)
{
    void* t = *p;
    *p = *q;
    *q = t;
}
