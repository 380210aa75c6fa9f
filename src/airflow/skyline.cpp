// Skyline storage and its profile factorisations.
#include "airflow/skyline.h"

#include <cmath>

#include "support/error.h"
#include "support/heap.h"

// Pivots smaller than this in magnitude are reported.
static const double PIVOT_MIN = 2.220446049250313e-16;

// Array lengths never fall below 1: an empty profile still gets a (tracked) slot.
static int atLeast1(int n)
{
    return n > 0 ? n : 1;
}

// The storage summary of an allocation.
static void logSummary(FILE* log, int n, int lower, int upper)
{
    fprintf(log, " Skyline Matrix:\n");
    fprintf(log, "     Number of rows: %d\n", n);
    fprintf(log, "     Lower Triangle: %d elements\n", lower);
    fprintf(log, "     Upper Triangle: %d elements\n", upper);
    fprintf(log, "     Fill fraction: %.3f\n", n > 0 ? (double)(lower + n + upper) / ((double)n * n) : 0.0);
}

void sky_summary(int n, const int* ija, FILE* log)
{
    if (!log) return;
    int lower = 0;
    for (int i = 1; i <= n; i++) {
        int lal = 0;
        for (int k = ija[i]; k < ija[i + 1]; k++)
            if (ija[k] >= 1 && ija[k] < i && i - ija[k] > lal) lal = i - ija[k];
        lower += lal;
    }
    logSummary(log, n, lower, lower);
}

int sky_alc(FlowmirState* fms, int n, const int* ija, Skyline* sky, FILE* log)
{
    int sym = sky->sym;
    sky->n = n;
    int rows = atLeast1(n);
    sky->lal = alc_vt<int>(fms, 1, rows, "sky-lal");
    sky->ial = alc_vt<int>(fms, 1, rows + 1, "sky-ial");
    sky->ad = alc_vt<double>(fms, 1, rows, "sky-ad");
    if (!sym) {
        sky->lau = alc_vt<int>(fms, 1, rows, "sky-lau");
        sky->iau = alc_vt<int>(fms, 1, rows + 1, "sky-iau");
    }
    for (int i = 1; i <= n; i++)
        for (int k = ija[i]; k < ija[i + 1]; k++) {
            int c = ija[k];
            if (c >= 1 && c < i) {
                if (i - c > sky->lal[i]) sky->lal[i] = i - c;
            } else if (!sym && c > i && c <= n) {
                if (c - i > sky->lau[c]) sky->lau[c] = c - i;
            }
        }
    sky->ial[1] = 1;
    for (int i = 1; i <= n; i++) sky->ial[i + 1] = sky->ial[i] + sky->lal[i];
    sky->nal = sky->ial[n + 1 > 1 ? n + 1 : 1] - 1;
    sky->al = alc_vt<double>(fms, 1, atLeast1(sky->nal), "sky-al");
    sky->nau = 0;
    if (!sym) {
        sky->iau[1] = 1;
        for (int j = 1; j <= n; j++) sky->iau[j + 1] = sky->iau[j] + sky->lau[j];
        sky->nau = sky->iau[n + 1 > 1 ? n + 1 : 1] - 1;
        sky->au = alc_vt<double>(fms, 1, atLeast1(sky->nau), "sky-au");
    }
    // A symmetric matrix has the transposed profile above its diagonal.
    if (log) logSummary(log, n, sky->nal, sym ? sky->nal : sky->nau);
    return 0;
}

void sky_fre(FlowmirState* fms, Skyline* sky)
{
    int rows = atLeast1(sky->n);
    fre_vt(fms, sky->lal, 1, rows);
    fre_vt(fms, sky->ial, 1, rows + 1);
    fre_vt(fms, sky->ad, 1, rows);
    fre_vt(fms, sky->al, 1, atLeast1(sky->nal));
    fre_vt(fms, sky->lau, 1, rows);
    fre_vt(fms, sky->iau, 1, rows + 1);
    if (sky->au) fre_vt(fms, sky->au, 1, atLeast1(sky->nau));
}

// Offset of row i in al: entry (i, c), c in i-lal[i] .. i-1, is al[lowOff(sky, i) + c].
static int lowOff(const Skyline* sky, int i)
{
    return sky->ial[i] - (i - sky->lal[i]);
}

// Offset of column j in au: entry (r, j), r in j-lau[j] .. j-1, is au[upOff(sky, j) + r].
static int upOff(const Skyline* sky, int j)
{
    return sky->iau[j] - (j - sky->lau[j]);
}

void fill_sky_s(const double* sa, const int* ija, Skyline* sky)
{
    for (int k = 1; k <= sky->nal; k++) sky->al[k] = 0.0;
    for (int i = 1; i <= sky->n; i++) {
        sky->ad[i] = sa[i];
        for (int k = ija[i]; k < ija[i + 1]; k++) {
            int c = ija[k];
            if (c >= 1 && c < i) sky->al[lowOff(sky, i) + c] = sa[k];
        }
    }
}

void fill_sky_n(Skyline* sky, int n, const int* ija, const double* sa)
{
    for (int k = 1; k <= sky->nal; k++) sky->al[k] = 0.0;
    for (int k = 1; k <= sky->nau; k++) sky->au[k] = 0.0;
    int rows = n < sky->n ? n : sky->n;
    for (int i = 1; i <= rows; i++) {
        sky->ad[i] = sa[i];
        for (int k = ija[i]; k < ija[i + 1]; k++) {
            int c = ija[k];
            if (c >= 1 && c < i)
                sky->al[lowOff(sky, i) + c] = sa[k];
            else if (c > i && c <= sky->n)
                sky->au[upOff(sky, c) + i] = sa[k];
        }
    }
}

// Stores the inverse of pivot d of equation i, reporting a tiny or zero pivot.
static void setPivot(FlowmirState* fms, Skyline* sky, int i, double d)
{
    if (fabs(d) < PIVOT_MIN) {
        if (d == 0.0) errorf(fms, FATAL, __FILE__, __LINE__, "Zero on the diagonal, eqn %d", i);
        errorf(fms, ERROR, __FILE__, __LINE__, "Near zero on the diagonal, eqn %d %6g", i, (double)(float)d);
    }
    sky->ad[i] = 1.0 / d;
}

int luf_sky_s(FlowmirState* fms, Skyline* sky)
{
    fms->nLufSkyS++;
    for (int i = 1; i <= sky->n; i++) {
        int fi = i - sky->lal[i];
        double* al = sky->al;
        int oi = lowOff(sky, i);
        // Reduce each entry by the overlap of rows i and j; row j already holds L.
        for (int j = fi + 1; j < i; j++) {
            int fj = j - sky->lal[j];
            int oj = lowOff(sky, j);
            double s = 0.0;
            for (int m = fi > fj ? fi : fj; m < j; m++) s += al[oi + m] * al[oj + m];
            al[oi + j] -= s;
        }
        double d = sky->ad[i];
        for (int j = fi; j < i; j++) {
            double l = al[oi + j] * sky->ad[j];
            d -= al[oi + j] * l;
            al[oi + j] = l;
        }
        setPivot(fms, sky, i, d);
    }
    return 0;
}

// Forward substitution with the unit lower factor L, in place.
static void forwardLower(const Skyline* sky, double* x)
{
    for (int i = 1; i <= sky->n; i++) {
        int oi = lowOff(sky, i);
        double s = x[i];
        for (int c = i - sky->lal[i]; c < i; c++) s -= sky->al[oi + c] * x[c];
        x[i] = s;
    }
}

void lus_sky_s(FlowmirState* fms, const Skyline* sky, double* x)
{
    fms->nLusSkyS++;
    int n = sky->n;
    forwardLower(sky, x);
    for (int i = 1; i <= n; i++) x[i] *= sky->ad[i];
    for (int i = n; i >= 2; i--) {
        int oi = lowOff(sky, i);
        for (int c = i - sky->lal[i]; c < i; c++) x[c] -= sky->al[oi + c] * x[i];
    }
}

int luf_sky_n(FlowmirState* fms, Skyline* sky)
{
    fms->nLufSkyN++;
    for (int k = 1; k <= sky->n; k++) {
        int fRow = k - sky->lal[k];  // first column of row k
        int fCol = k - sky->lau[k];  // first row of column k
        double* al = sky->al;
        double* au = sky->au;
        int ok = lowOff(sky, k), uk = upOff(sky, k);
        // Column k of U.
        for (int r = fCol; r < k; r++) {
            int fr = r - sky->lal[r];
            int orr = lowOff(sky, r);
            double s = 0.0;
            for (int m = fCol > fr ? fCol : fr; m < r; m++) s += al[orr + m] * au[uk + m];
            au[uk + r] -= s;
        }
        // Row k of L.
        for (int c = fRow; c < k; c++) {
            int fc = c - sky->lau[c];
            int uc = upOff(sky, c);
            double s = al[ok + c];
            for (int m = fRow > fc ? fRow : fc; m < c; m++) s -= al[ok + m] * au[uc + m];
            al[ok + c] = s * sky->ad[c];
        }
        double d = sky->ad[k];
        for (int m = fRow > fCol ? fRow : fCol; m < k; m++) d -= al[ok + m] * au[uk + m];
        setPivot(fms, sky, k, d);
    }
    return 0;
}

void lus_sky_n(FlowmirState* fms, const Skyline* sky, double* x)
{
    fms->nLusSkyN++;
    int n = sky->n;
    forwardLower(sky, x);
    for (int j = n; j >= 1; j--) {
        x[j] *= sky->ad[j];
        int oj = upOff(sky, j);
        for (int r = j - sky->lau[j]; r < j; r++) x[r] -= sky->au[oj + r] * x[j];
    }
}

void sky_dump(FILE* log, const Skyline* sky, const char* title)
{
    (void)title;  // the listing is headed by its size only
    if (!log) return;
    int n = sky->n;
    fprintf(log, "Skyline matrix (nn=%d):\n", n);
    fprintf(log, "row:  A\n");
    for (int i = 1; i <= n; i++) {
        fprintf(log, "%3d: ", i);
        int oi = lowOff(sky, i);
        for (int c = i - sky->lal[i]; c < i; c++)
            if (sky->al[oi + c] != 0.0) fprintf(log, " (%d %14.7e)", c, sky->al[oi + c]);
        fprintf(log, " [%14.7e]", sky->ad[i]);
        if (!sky->sym)
            for (int j = i + 1; j <= n; j++)
                if (i >= j - sky->lau[j]) {
                    double u = sky->au[upOff(sky, j) + i];
                    if (u != 0.0) fprintf(log, " (%d %14.7e)", j, u);
                }
        fprintf(log, "\n");
    }
}
