#include "airflow/spline.h"

#include <cmath>

#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"

// Secant slope of interval i.
static double secant(const CsfPoint* pts, int i)
{
    return (pts[i + 1].y - pts[i].y) / (pts[i + 1].x - pts[i].x);
}

int CSFinit(FlowmirState* fms, int n, CsfPoint* pts)
{
    if (n < 2) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Spline needs at least 2 data points, has %d", n);
        return 1;
    }
    for (int i = 0; i < n - 1; i++) {
        double dx = pts[i + 1].x - pts[i].x;
        if (dx == 0.0) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Multiple data points  at x = %4g", pts[i + 1].x);
            return 1;
        }
        if (dx < 0.0 || std::isnan(dx)) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Data points out of order at x = %4g", pts[i + 1].x);
            return 1;
        }
    }

    // The two end segments are the secant lines; with fewer than four points nothing else is
    // left to fit (three points give two straight segments).
    double sFirst = secant(pts, 0);
    double sLast = secant(pts, n - 2);
    for (int i = 0; i < n; i++)
        pts[i].c = pts[i].d = 0.0;
    pts[0].b = sFirst;
    pts[n - 2].b = sLast;
    pts[n - 1].b = sLast;
    if (n < 4) return 0;

    // Slopes m[1..N] at the inner points: tridiagonal, first and last rows fixed to the
    // end secants.
    int N = n - 2;
    double* dx = alc_vt<double>(fms, 0, n - 2, "spln-dx");
    double* m = alc_vt<double>(fms, 1, N, "spln-b");
    double* gam = alc_vt<double>(fms, 1, N, "spln-t");
    for (int i = 0; i <= n - 2; i++)
        dx[i] = pts[i + 1].x - pts[i].x;

    auto row = [&](int j, double* lo, double* di, double* up, double* r) {
        if (j == 1 || j == N) {
            *lo = 0.0;
            *di = 1.0;
            *up = 0.0;
            *r = j == 1 ? sFirst : sLast;
            return;
        }
        *lo = dx[j];
        *di = 2.0 * (dx[j - 1] + dx[j]);
        *up = dx[j - 1];
        *r = 3.0 * (secant(pts, j - 1) * dx[j] + secant(pts, j) * dx[j - 1]);
    };

    double lo, di, up, r, upPrev;
    row(1, &lo, &di, &up, &r);
    double bet = di;
    m[1] = r / bet;
    upPrev = up;
    for (int j = 2; j <= N; j++) {
        row(j, &lo, &di, &up, &r);
        gam[j] = upPrev / bet;
        bet = di - lo * gam[j];
        m[j] = (r - lo * m[j - 1]) / bet;
        upPrev = up;
    }
    for (int j = N - 1; j >= 1; j--)
        m[j] -= gam[j + 1] * m[j + 1];

    for (int j = 1; j <= n - 3; j++) {
        double s = secant(pts, j);
        pts[j].b = m[j];
        pts[j].c = (3.0 * s - 2.0 * m[j] - m[j + 1]) / dx[j];
        pts[j].d = (m[j] - 2.0 * s + m[j + 1]) / (dx[j] * dx[j]);
    }

    fre_vt(fms, gam, 1, N);
    fre_vt(fms, m, 1, N);
    fre_vt(fms, dx, 0, n - 2);
    return 0;
}

double CSFintrp(double x, int n, const CsfPoint* pts, int* seg, double* dydx, double* d2ydx2)
{
    if (n < 2) { // no segment: a constant
        if (dydx) *dydx = 0.0;
        if (d2ydx2) *d2ydx2 = 0.0;
        if (seg) *seg = 0;
        return n == 1 ? pts[0].y : 0.0;
    }
    int i = seg ? *seg : 0;
    if (i < 0) i = 0;
    if (i > n - 2) i = n - 2;
    while (i > 0 && x < pts[i].x)
        i--;
    while (i < n - 2 && x >= pts[i + 1].x)
        i++;
    const CsfPoint& p = pts[i];
    double t = x - p.x;
    if (dydx) *dydx = (3.0 * p.d * t + 2.0 * p.c) * t + p.b;
    if (d2ydx2) *d2ydx2 = 6.0 * p.d * t + 2.0 * p.c;
    if (seg) *seg = i;
    return ((p.d * t + p.c) * t + p.b) * t + p.y;
}

// Zeros of the slope b + 2c t + 3d t^2 of a segment; returns how many (0 to 2).
static int slopeZeros(const CsfPoint& p, double t[2])
{
    if (p.d != 0.0) {
        double disc = p.c * p.c - 3.0 * p.d * p.b;
        if (disc < 0.0) return 0;
        double q = std::sqrt(disc);
        t[0] = (q - p.c) / (3.0 * p.d);
        t[1] = (-q - p.c) / (3.0 * p.d);
        return disc == 0.0 ? 1 : 2;
    }
    if (p.c != 0.0) {
        t[0] = -p.b / (2.0 * p.c);
        return 1;
    }
    return 0;
}

static double segValue(const CsfPoint& p, double t)
{
    return ((p.d * t + p.c) * t + p.b) * t + p.y;
}

struct CheckState {
    FlowmirState* fms;
    int* segFlags;
    const char** segReasons;
    int failed;
};

static void checkFail(CheckState* cs, const char* reason, double x, int seg)
{
    LOG(cs->fms, "     %s at x = %g, segment %d\n", reason, x, seg);
    if (cs->segFlags) cs->segFlags[seg] = 1;
    if (cs->segReasons) cs->segReasons[seg] = reason;
    cs->failed = 1;
}

static void checkBounds(CheckState* cs, double y, double x, int seg)
{
    if (y > 1.0) checkFail(cs, "y > 1", x, seg);
    if (y < 0.0) checkFail(cs, "y < 0", x, seg);
}

int CSFchk(FlowmirState* fms, const char* name, int n, const CsfPoint* pts, int kind, int* segFlags,
           const char** segReasons)
{
    LOG(fms, "CSFchk: %s\n", name);
    LOG(fms, "seg #    x            y            y'           y\"\n");
    if (kind < CSF_AIRFLOW || kind > CSF_DECREASING)
        errorf(fms, FATAL, __FILE__, __LINE__, "Invalid value for equation type: %d", kind);
    if (n < 2) return 1;

    CheckState cs = {fms, segFlags, segReasons, 0};
    for (int i = 0; i < n - 1; i++) {
        if (segFlags) segFlags[i] = 0;
        if (segReasons) segReasons[i] = nullptr;
    }
    for (int i = 0; i < n - 1; i++) {
        const CsfPoint& p = pts[i];
        double dx = pts[i + 1].x - p.x;
        LOG(fms, "%4d  %12.4e %12.4e %12.4e %12.4e\n", i, p.x, p.y, p.b, 2.0 * p.c);
        double t[2];
        int nz = slopeZeros(p, t);
        if (kind == CSF_AIRFLOW) {
            if (p.b <= 0.0) checkFail(&cs, "y' <= 0", p.x, i);
            for (int k = 0; k < nz; k++)
                if (t[k] >= 0.0 && t[k] <= dx) checkFail(&cs, "y' = 0", p.x + t[k], i);
            continue;
        }
        checkBounds(&cs, p.y, p.x, i);
        for (int k = 0; k < nz; k++) {
            if (t[k] > 1e-5 * dx && t[k] < 0.99999 * dx) {
                double y = segValue(p, t[k]);
                LOG(fms, "    y' = 0 at x = %12.4e, y = %12.4e\n", p.x + t[k], y);
                checkBounds(&cs, y, p.x + t[k], i);
            }
        }
        if (kind == CSF_DECREASING && p.b > 0.0) checkFail(&cs, "y' > 0", p.x, i);
        if (i == 0 && p.b != 0.0) checkFail(&cs, "y' != 0", p.x, i);
        if (i == n - 2) checkBounds(&cs, segValue(p, dx), pts[i + 1].x, i);
    }
    return cs.failed;
}
