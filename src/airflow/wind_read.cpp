#include "airflow/wind_read.h"

#include <cmath>

#include "airflow/pool_array.h"
#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/log.h"
#include "support/nxt.h"

static const double SPLN_EPS = 2.220446049250313e-16;

static float tidy(double v)
{
    return std::fabs(v) < 1e-12 ? 0.0f : static_cast<float>(v);
}

int wp_ccspl(FlowmirState* fms, int n, const float* x, const float* y, WpSeg* seg)
{
    if (n < 3) {
        error(fms, ERROR, __FILE__, __LINE__, "too few data points for spline", "");
        return 0;
    }
    if (y[n - 1] != y[0]) {
        error(fms, ERROR, __FILE__, __LINE__, " Wind pressure profile data is not periodic", "");
        return 0;
    }
    for (int i = 0; i < n - 1; i++) {
        if (!(x[i + 1] > x[i])) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Wind pressure profile angles must increase, at %g",
                   x[i + 1]);
            return 0;
        }
    }

    // Second derivatives M_0..M_{m-1}, m = n-1, with M_{n-1} = M_0: a cyclic system, solved dense.
    int m = n - 1;
    auto h = [&](int i) { return static_cast<double>(x[i + 1]) - x[i]; };
    auto d = [&](int i) { return (static_cast<double>(y[i + 1]) - y[i]) / h(i); };
    double** A = static_cast<double**>(alc_mc(fms, 1, m, 1, m, sizeof(double), "spln-c"));
    double* S = alc_vt<double>(fms, 1, m, "spln-S");
    for (int i = 0; i < m; i++) {
        int prev = (i + m - 1) % m;
        int next = (i + 1) % m;
        A[i + 1][prev + 1] += h(prev); // += : with two unknowns both neighbours are one column
        A[i + 1][i + 1] += 2.0 * (h(prev) + h(i));
        A[i + 1][next + 1] += h(i);
        S[i + 1] = 6.0 * (d(i) - d(prev));
    }

    int ok = 1;
    for (int k = 1; k <= m && ok; k++) {
        double piv = A[k][k];
        if (std::fabs(piv) < SPLN_EPS) {
            if (piv == 0.0) {
                errorf(fms, ERROR, __FILE__, __LINE__, "Zero on the diagonal, row %d", k);
                ok = 0;
                break;
            }
            errorf(fms, WARNING, __FILE__, __LINE__, "Near zero on the diagonal, row %d", k);
        }
        for (int i = k + 1; i <= m; i++) {
            double f = A[i][k] / piv;
            if (f == 0.0) continue;
            for (int j = k; j <= m; j++)
                A[i][j] -= f * A[k][j];
            S[i] -= f * S[k];
        }
    }
    if (ok) {
        for (int k = m; k >= 1; k--) {
            double s = S[k];
            for (int j = k + 1; j <= m; j++)
                s -= A[k][j] * S[j];
            S[k] = s / A[k][k];
        }
        for (int i = 0; i < m; i++) {
            double Mi = S[i + 1];
            double Mn = S[(i + 1) % m + 1];
            double hi = h(i);
            seg[i].x = x[i];
            seg[i].s0 = tidy(y[i]);
            seg[i].s1 = tidy(d(i) - (2.0 * Mi + Mn) * hi / 6.0);
            seg[i].s2 = tidy(Mi / 2.0);
            seg[i].s3 = tidy((Mn - Mi) / (6.0 * hi));
        }
        seg[m] = WpSeg{x[m], y[m], 0.0f, 0.0f, 0.0f};
    }

    fre_vt(fms, S, 1, m);
    fre_mc(fms, A, 1, m, 1, m, sizeof(double));
    return ok;
}

int wp_htrig(int n, const float* x, const float* y, float* trig)
{
    double v[5];
    double target = 0.0;
    int found = 0;
    for (int i = 0; i < n; i++) {
        if (std::fabs(x[i] - target) <= 0.01) {
            if (found < 5) v[found] = y[i];
            found++;
            target += 90.0;
        }
    }
    if (found != 5) return 0;
    trig[0] = static_cast<float>(v[0] + v[2]);
    trig[1] = static_cast<float>(v[0] - v[2]);
    trig[2] = static_cast<float>(v[1] + v[3]);
    trig[3] = static_cast<float>(v[1] - v[3]);
    return 1;
}

// Reads the points of one profile and prepares its evaluation.
static void readProfile(FlowmirState* fms, MemBlock** pool, Wpf* w)
{
    char word[4096];
    w->npts = readI2(fms, 0);
    w->type = readI2(fms, 0);
    nxtwrd(fms, word, 0, sizeof word); // name, not kept
    nxtwrd(fms, word, 3, sizeof word); // description, not kept
    int n = w->npts > 0 ? w->npts : 0;
    if (n > 0) {
        w->azm = pool_arrayt<float>(fms, pool, n, "azm");
        w->coef = pool_arrayt<float>(fms, pool, n, "coef");
        for (int j = 0; j < n; j++) {
            w->azm[j] = readR4(fms, 1);
            w->coef[j] = readR4(fms, 0);
        }
    }

    int errs = prj_errors(fms);
    // Every evaluation searches the angles in order.
    for (int j = 0; j + 1 < n; j++) {
        if (!(w->azm[j + 1] > w->azm[j])) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Wind pressure profile %d: angles must increase, at %g",
                   w->nr, w->azm[j + 1]);
            w->type = WPF_LINEAR;
            return;
        }
    }
    if (w->type == WPF_SPLINE) {
        w->seg = n > 0 ? pool_arrayt<WpSeg>(fms, pool, n, "aa") : nullptr;
        if (!wp_ccspl(fms, n, w->azm, w->coef, w->seg)) {
            w->type = WPF_LINEAR;
            w->seg = nullptr;
        }
    } else if (w->type == WPF_TRIG) {
        wp_htrig(n, w->azm, w->coef, w->trig); // without the five angles the coefficients stay 0
    } else {
        w->type = WPF_LINEAR;
    }
    if (w->type == WPF_LINEAR && n < 2 && prj_errors(fms) == errs)
        errorf(fms, ERROR, __FILE__, __LINE__, "Wind pressure profile %d needs at least 2 points, has %d",
               w->nr, n);
}

int wind_read(FlowmirState* fms, MemBlock** pool)
{
    int n = readIX(fms, 1);
    if (n < 0 || n > nxt_remaining(fms)) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid wind pressure profile count: %d", n);
        n = 0;
    }
    fms->nwpf = n;
    fms->WpfLst = n > 0 ? alc_vt<Wpf*>(fms, 1, n, "WpfLst") : nullptr;

    for (int i = 1; i <= n; i++) {
        Wpf* w = alc_ect<Wpf>(fms, pool, "wpf");
        fms->WpfLst[i] = w;
        w->nr = i;
        prj_record_number(fms, "Wind", i);
        readProfile(fms, pool, w);
        if (prj_errors(fms) > 0) break;
    }

    prj_section_end(fms, "WindP Profile");
    return n;
}

void wind_free_list(FlowmirState* fms)
{
    fre_vt(fms, fms->WpfLst, 1, fms->nwpf);
}
