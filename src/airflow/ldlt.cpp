// Sparse L D L' factorisation on a minimum-degree ordering (AMD for the ordering, LDL's
// symbolic step for the elimination tree and the column counts).
#include "airflow/ldlt.h"

#include <amd.h>
// ldl.h declares C functions without a C++ guard.
extern "C" {
#include <ldl.h>
}

#include <algorithm>
#include <cmath>
#include <vector>

#include "support/error.h"
#include "support/heap.h"

// Pivots smaller than this in magnitude are reported.
static const double PIVOT_MIN = 2.220446049250313e-16;

static int atLeast1(int n)
{
    return n > 0 ? n : 1;
}

template <class T>
static T* alloc0(FlowmirState* fms, int count, const char* name)
{
    return alc_vt<T>(fms, 0, atLeast1(count) - 1, name);
}

template <class T>
static void free0(FlowmirState* fms, T*& array, int count)
{
    fre_vt(fms, array, 0, atLeast1(count) - 1);
}

double sky_ops(int n, const int* ija)
{
    if (n <= 0) return 0.0;
    std::vector<int> lal(n + 1, 0);
    for (int i = 1; i <= n; i++)
        for (int k = ija[i]; k < ija[i + 1]; k++)
            if (ija[k] >= 1 && ija[k] < i) lal[i] = std::max(lal[i], i - ija[k]);
    // Row i: each stored entry j is reduced by the overlap of rows i and j, then scaled and
    // accumulated into the pivot.
    double ops = 0.0;
    for (int i = 2; i <= n; i++) {
        int fi = i - lal[i];
        for (int j = fi + 1; j < i; j++) ops += j - std::max(fi, j - lal[j]);
        ops += lal[i];
    }
    return ops;
}

// The full symmetric pattern of rows 1..n, 0-based, columns sorted, no diagonal.
static void fullPattern(int n, const int* ija, std::vector<int>& Ap, std::vector<int>& Ai)
{
    std::vector<int> count(n + 1, 0);
    for (int i = 1; i <= n; i++)
        for (int k = ija[i]; k < ija[i + 1]; k++) {
            int j = ija[k];
            if (j >= 1 && j < i) {
                count[i - 1]++;
                count[j - 1]++;
            }
        }
    Ap.assign(n + 1, 0);
    for (int c = 0; c < n; c++) Ap[c + 1] = Ap[c] + count[c];
    Ai.assign(std::max(Ap[n], 1), 0);
    std::vector<int> next(Ap.begin(), Ap.end() - 1);
    // Row i's lower columns ascend, and rows ascend: both halves land sorted.
    for (int i = 1; i <= n; i++)
        for (int k = ija[i]; k < ija[i + 1]; k++) {
            int j = ija[k];
            if (j >= 1 && j < i) {
                Ai[next[j - 1]++] = i - 1;
            }
        }
    for (int i = 1; i <= n; i++)
        for (int k = ija[i]; k < ija[i + 1]; k++) {
            int j = ija[k];
            if (j >= 1 && j < i) Ai[next[i - 1]++] = j - 1;
        }
    for (int c = 0; c < n; c++) std::sort(Ai.begin() + Ap[c], Ai.begin() + Ap[c + 1]);
}

// The approximate-minimum-degree ordering; the identity when AMD refuses.
static void minimumDegree(FlowmirState* fms, int n, const int* ija, int* perm)
{
    std::vector<int> Ap, Ai;
    fullPattern(n, ija, Ap, Ai);
    double control[AMD_CONTROL], info[AMD_INFO];
    amd_defaults(control);
    int rc = amd_order(n, Ap.data(), Ai.data(), perm, control, info);
    if (rc != AMD_OK && rc != AMD_OK_BUT_JUMBLED) {
        errorf(fms, WARNING, __FILE__, __LINE__, "Minimum degree ordering failed (%d): equations kept in order", rc);
        for (int k = 0; k < n; k++) perm[k] = k;
    }
}

SparseLdl* ldl_analyse(FlowmirState* fms, int n, const int* ija)
{
    SparseLdl* ldl = static_cast<SparseLdl*>(alc_e(fms, sizeof(SparseLdl), "ldl"));
    ldl->n = n;
    ldl->perm = alloc0<int>(fms, n, "ldl-perm");
    minimumDegree(fms, n, ija, ldl->perm);
    std::vector<int> pinv(atLeast1(n));
    for (int k = 0; k < n; k++) pinv[ldl->perm[k]] = k;

    // The permuted upper triangle: entry (i, j), j < i, at sa position k goes to column
    // max(pinv) with row min(pinv).
    int nz = 0;
    std::vector<int> count(n + 1, 0);
    for (int i = 1; i <= n; i++)
        for (int k = ija[i]; k < ija[i + 1]; k++)
            if (ija[k] >= 1 && ija[k] < i) {
                count[std::max(pinv[i - 1], pinv[ija[k] - 1])]++;
                nz++;
            }
    ldl->nzA = nz;
    ldl->Ap = alloc0<int>(fms, n + 1, "ldl-Ap");
    ldl->Ai = alloc0<int>(fms, nz, "ldl-Ai");
    ldl->Apos = alloc0<int>(fms, nz, "ldl-Apos");
    for (int c = 0; c < n; c++) ldl->Ap[c + 1] = ldl->Ap[c] + count[c];
    std::vector<int> next(ldl->Ap, ldl->Ap + std::max(n, 1));
    for (int i = 1; i <= n; i++)
        for (int k = ija[i]; k < ija[i + 1]; k++)
            if (ija[k] >= 1 && ija[k] < i) {
                int a = pinv[i - 1], b = pinv[ija[k] - 1];
                int p = next[std::max(a, b)]++;
                ldl->Ai[p] = std::min(a, b);
                ldl->Apos[p] = k;
            }

    // Elimination tree and column counts; then each row's pattern in topological order,
    // which also fixes the rows of L column by column.
    std::vector<int> parent(atLeast1(n)), lnz(atLeast1(n)), flag(atLeast1(n)), pattern(atLeast1(n));
    ldl->Lp = alloc0<int>(fms, n + 1, "ldl-Lp");
    if (n > 0) ldl_symbolic(n, ldl->Ap, ldl->Ai, ldl->Lp, parent.data(), lnz.data(), flag.data(), nullptr, nullptr);
    int nzL = ldl->Lp[n];
    ldl->nzL = nzL;
    ldl->Li = alloc0<int>(fms, nzL, "ldl-Li");
    ldl->Rp = alloc0<int>(fms, n + 1, "ldl-Rp");
    ldl->Ri = alloc0<int>(fms, nzL, "ldl-Ri");
    ldl->Rpos = alloc0<int>(fms, nzL, "ldl-Rpos");
    ldl->Lx = alloc0<double>(fms, nzL, "ldl-Lx");
    ldl->Dinv = alloc0<double>(fms, n, "ldl-Dinv");
    ldl->y = alloc0<double>(fms, n, "ldl-y");
    std::vector<int> filled(atLeast1(n), 0);
    int r = 0;
    for (int k = 0; k < n; k++) {
        ldl->Rp[k] = r;
        int top = n;
        flag[k] = k;
        for (int p = ldl->Ap[k]; p < ldl->Ap[k + 1]; p++) {
            int len = 0;
            for (int i = ldl->Ai[p]; flag[i] != k; i = parent[i]) {
                pattern[len++] = i;
                flag[i] = k;
            }
            while (len > 0) pattern[--top] = pattern[--len];
        }
        for (; top < n; top++) {
            int i = pattern[top];
            int pos = ldl->Lp[i] + filled[i]++;
            ldl->Li[pos] = k;
            ldl->Ri[r] = i;
            ldl->Rpos[r] = pos;
            r++;
        }
    }
    ldl->Rp[n] = r;

    // Entry (k, i) of L costs one multiply-add per entry of column i above row k, one more
    // for the pivot.
    ldl->opsLdl = 0.0;
    for (int i = 0; i < n; i++) ldl->opsLdl += 0.5 * (double)lnz[i] * (lnz[i] + 1);
    return ldl;
}

void ldl_fre(FlowmirState* fms, SparseLdl* ldl)
{
    if (!ldl) return;
    int n = ldl->n;
    free0(fms, ldl->perm, n);
    free0(fms, ldl->Ap, n + 1);
    free0(fms, ldl->Ai, ldl->nzA);
    free0(fms, ldl->Apos, ldl->nzA);
    free0(fms, ldl->Lp, n + 1);
    free0(fms, ldl->Li, ldl->nzL);
    free0(fms, ldl->Rp, n + 1);
    free0(fms, ldl->Ri, ldl->nzL);
    free0(fms, ldl->Rpos, ldl->nzL);
    free0(fms, ldl->Lx, ldl->nzL);
    free0(fms, ldl->Dinv, n);
    free0(fms, ldl->y, n);
    fre_e(fms, ldl, sizeof(SparseLdl), "ldl");
}

void ldl_factor(FlowmirState* fms, SparseLdl* ldl, const double* sa)
{
    fms->nLufSkyS++;
    const int n = ldl->n;
    const int *Ap = ldl->Ap, *Ai = ldl->Ai, *Apos = ldl->Apos, *Lp = ldl->Lp, *Li = ldl->Li;
    const int *Rp = ldl->Rp, *Ri = ldl->Ri, *Rpos = ldl->Rpos;
    double *Lx = ldl->Lx, *Dinv = ldl->Dinv, *Y = ldl->y;
    // The work vector is shared with the solve; the factorisation needs it clear.
    for (int k = 0; k < n; k++) Y[k] = 0.0;
    for (int k = 0; k < n; k++) {
        // Row k of L by a sparse triangular solve with the rows above it.
        for (int p = Ap[k]; p < Ap[k + 1]; p++) Y[Ai[p]] = sa[Apos[p]];
        double d = sa[ldl->perm[k] + 1];
        for (int q = Rp[k]; q < Rp[k + 1]; q++) {
            int i = Ri[q];
            int pos = Rpos[q];
            double yi = Y[i];
            Y[i] = 0.0;
            for (int p = Lp[i]; p < pos; p++) Y[Li[p]] -= Lx[p] * yi;
            double l = yi * Dinv[i];
            d -= l * yi;
            Lx[pos] = l;
        }
        if (fabs(d) < PIVOT_MIN) {
            int eqn = ldl->perm[k] + 1;
            if (d == 0.0) errorf(fms, FATAL, __FILE__, __LINE__, "Zero on the diagonal, eqn %d", eqn);
            errorf(fms, ERROR, __FILE__, __LINE__, "Near zero on the diagonal, eqn %d %6g", eqn, (double)(float)d);
        }
        Dinv[k] = 1.0 / d;
    }
}

void ldl_solve(FlowmirState* fms, SparseLdl* ldl, double* x)
{
    fms->nLusSkyS++;
    const int n = ldl->n;
    const int *perm = ldl->perm, *Lp = ldl->Lp, *Li = ldl->Li;
    const double *Lx = ldl->Lx, *Dinv = ldl->Dinv;
    double* y = ldl->y;
    for (int k = 0; k < n; k++) y[k] = x[perm[k] + 1];
    for (int j = 0; j < n; j++) {
        double yj = y[j];
        for (int p = Lp[j]; p < Lp[j + 1]; p++) y[Li[p]] -= Lx[p] * yj;
    }
    for (int j = 0; j < n; j++) y[j] *= Dinv[j];
    for (int j = n - 1; j >= 0; j--) {
        double s = y[j];
        for (int p = Lp[j]; p < Lp[j + 1]; p++) s -= Lx[p] * y[Li[p]];
        y[j] = s;
    }
    for (int k = 0; k < n; k++) x[perm[k] + 1] = y[k];
}
