// Dense LU factorisation without pivoting (airflow and age solvers), listings, and the
// pivoting elimination and polynomial helpers exported for hosts.
#include "airflow/dense.h"

#include <cmath>

#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"

// Pivots smaller than this in magnitude are reported.
static const double PIVOT_MIN = 2.220446049250313e-16;

int luf_ge(FlowmirState* fms, double** a, int n)
{
    fms->nLufGe++;
    for (int k = 1; k <= n; k++) {
        double pivot = a[k][k];
        if (fabs(pivot) < PIVOT_MIN) {
            if (pivot == 0.0) errorf(fms, FATAL, __FILE__, __LINE__, "Zero on the diagonal, row %d", k);
            errorf(fms, ERROR, __FILE__, __LINE__, "Near zero on the diagonal, row %d", k);
        }
        double inv = 1.0 / pivot;
        a[k][k] = inv;
        for (int i = k + 1; i <= n; i++) {
            double l = a[i][k] * inv;
            a[i][k] = l;
            if (l == 0.0) continue;
            for (int j = k + 1; j <= n; j++) a[i][j] -= l * a[k][j];
        }
    }
    return 0;
}

void lus_ge(FlowmirState* fms, double** a, double* b, int n)
{
    fms->nLusGe++;
    for (int i = 2; i <= n; i++) {
        double sum = b[i];
        for (int j = 1; j < i; j++) sum -= a[i][j] * b[j];
        b[i] = sum;
    }
    for (int i = n; i >= 1; i--) {
        double sum = b[i];
        for (int j = i + 1; j <= n; j++) sum -= a[i][j] * b[j];
        b[i] = sum * a[i][i];
    }
}

void ge_dump(FILE* log, double** a, int n, const char* title)
{
    if (!log) return;
    fprintf(log, "Full matrix '%s' (neqn=%d):\n", title ? title : "", n);
    fprintf(log, "row: A  1");
    for (int j = 2; j <= n; j++) fprintf(log, "%14d", j);
    fprintf(log, "\n");
    for (int i = 1; i <= n; i++) {
        fprintf(log, "%3d:", i);
        for (int j = 1; j <= n; j++) fprintf(log, "%14.6e", a[i][j]);
        fprintf(log, "\n");
    }
}

int gaussp(FlowmirState* fms, double** a, int n)
{
    LOG(fms, "gaussp:\n");
    for (int i = 1; i <= n; i++) {
        LOG(fms, " A[%d]:", i);
        for (int j = 1; j <= n + 1; j++) LOG(fms, "%12.4e", a[i][j]);
        LOG(fms, "\n");
    }
    for (int k = 1; k <= n; k++) {
        int p = k;
        for (int i = k + 1; i <= n; i++)
            if (fabs(a[i][k]) > fabs(a[p][k])) p = i;
        if (a[p][k] == 0.0) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Zero pivot element, row %d", k);
            return 1;
        }
        // Swap values, not row pointers: the rows may share one tracked block.
        if (p != k)
            for (int j = k; j <= n + 1; j++) {
                double t = a[p][j];
                a[p][j] = a[k][j];
                a[k][j] = t;
            }
        for (int i = k + 1; i <= n; i++) {
            double l = a[i][k] / a[k][k];
            if (l == 0.0) continue;
            for (int j = k; j <= n + 1; j++) a[i][j] -= l * a[k][j];
        }
    }
    for (int i = n; i >= 1; i--) {
        double sum = a[i][n + 1];
        for (int j = i + 1; j <= n; j++) sum -= a[i][j] * a[j][n + 1];
        a[i][n + 1] = sum / a[i][i];
    }
    return 0;
}

int poly_fit(FlowmirState* fms, double* c, const double* x, const double* y, int m, int d)
{
    if (m - 1 < d) return 1;
    LOG(fms, "poly_fit:\n");
    for (int i = 1; i <= m; i++) LOG(fms, " %2d x%12.4e  y%12.4e\n", i, x[i], y[i]);
    int n = d + 1;
    double** a = static_cast<double**>(alc_mc(fms, 1, n, 1, n + 1, sizeof(double), "poly_fit"));
    // Normal equations: sum_k (sum x^(j+k)) c_k = sum y x^j, j, k = 0..d.
    for (int i = 1; i <= m; i++) {
        double pj = 1.0;
        for (int j = 1; j <= n; j++) {
            double pjk = pj;
            for (int k = 1; k <= n; k++) {
                a[j][k] += pjk;
                pjk *= x[i];
            }
            a[j][n + 1] += y[i] * pj;
            pj *= x[i];
        }
    }
    int rc = gaussp(fms, a, n) ? 2 : 0;
    if (rc == 0) {
        LOG(fms, " fit: ");
        for (int k = 0; k <= d; k++) {
            c[k] = a[k + 1][n + 1];
            LOG(fms, " %2g", c[k]);
        }
        LOG(fms, "\n");
    }
    fre_mc(fms, a, 1, n, 1, n + 1, sizeof(double));
    return rc;
}

enum { POLY_ZERO_ITMAX = 100 };

double poly_zero(FlowmirState* fms, const double* c, int d, double x, double tolx, double toly)
{
    for (int it = 0; it < POLY_ZERO_ITMAX; it++) {
        double y = c[d], dy = 0.0;
        for (int k = d - 1; k >= 0; k--) {
            dy = dy * x + y;
            y = y * x + c[k];
        }
        // A flat spot ends the search where it stands: no step can be formed.
        if (dy == 0.0) {
            errorf(fms, WARNING, __FILE__, __LINE__, "poly_zero: zero slope at x = %g", x);
            return x;
        }
        double diff = y / dy;
        LOG(fms, "poly_zero:  x=%g  y=%g  dy=%g  diff=%g\n", x, y, dy, diff);
        x -= diff;
        if (fabs(diff) <= tolx && fabs(y) <= toly) return x;
    }
    errorf(fms, WARNING, __FILE__, __LINE__, "poly_zero: no convergence in %d iterations", POLY_ZERO_ITMAX);
    return x;
}
