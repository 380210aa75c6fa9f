// The sparse LU of the solved block (rows and columns 1..nvar) by KLU: a block triangular
// form, a fill-reducing ordering of each block and left-looking LU.
//
// The analysis and one factorisation of a trial matrix are made at configuration; every later
// factorisation refactors with the trial's pivot sequence, which allocates nothing. The trial
// is strictly diagonally dominant by rows and columns, so KLU takes its pivots on the
// diagonal, as the skyline does; the mass-fraction matrices, mass balances, are as a rule
// diagonally dominant by columns, so those pivots serve them as well.
#include <klu.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "support/error.h"
#include "support/heap.h"
#include "transport/sasn_impl.h"

// Pivots smaller than this in magnitude are reported, as the skyline reports them.
static const double PIVOT_MIN = 2.220446049250313e-16;

struct SasnKlu {
    klu_common common;
    klu_symbolic* symbolic;
    klu_numeric* numeric;
    int n, nz;
    int* Ap;      // [0..n] column starts of the solved block
    int* Ai;      // [0..nz-1] rows (0-based), ascending within a column
    int* Apos;    // [0..nz-1] position of each value in the row-indexed matrix
    double* Ax;   // [0..nz-1]
};

static int atLeast1(int n)
{
    return n > 0 ? n : 1;
}

// Multiply-adds of the factorisation just made, from the pattern of its factors: elimination
// step j divides the lj entries of column j of L below the pivot by it and subtracts their
// products with the uj entries of row j of U right of the pivot, lj (uj + 1) in all. The
// skyline estimate counts the same operations in its profile, so the two compare like for
// like (a full block gives both the same count). KLU's own flop count weighs operations
// differently and is not used. Returns a negative value when the factors cannot be read.
static double factorOps(SasnKlu* k)
{
    int n = k->n;
    klu_numeric* num = k->numeric;
    std::vector<int> Lp(n + 1), Up(n + 1);
    std::vector<int> Li(atLeast1(num->lnz)), Ui(atLeast1(num->unz));
    // A factor is extracted only with its values.
    std::vector<double> Lx(atLeast1(num->lnz)), Ux(atLeast1(num->unz));
    if (!klu_extract(num, k->symbolic, Lp.data(), Li.data(), Lx.data(), Up.data(), Ui.data(), Ux.data(), nullptr,
                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &k->common))
        return -1.0;
    std::vector<double> urow(n, 0.0);
    for (int j = 0; j < n; j++)
        for (int p = Up[j]; p < Up[j + 1]; p++)
            if (Ui[p] < j) urow[Ui[p]] += 1.0;
    double ops = 0.0;
    for (int j = 0; j < n; j++) {
        double lj = 0.0;
        for (int p = Lp[j]; p < Lp[j + 1]; p++)
            if (Li[p] > j) lj += 1.0;
        ops += lj * (urow[j] + 1.0);
    }
    return ops;
}

static void release(FlowmirState* fms, SasnKlu* k)
{
    if (k->numeric) klu_free_numeric(&k->numeric, &k->common);
    if (k->symbolic) klu_free_symbolic(&k->symbolic, &k->common);
    fre_vt(fms, k->Ap, 0, k->n);
    fre_vt(fms, k->Ai, 0, atLeast1(k->nz) - 1);
    fre_vt(fms, k->Apos, 0, atLeast1(k->nz) - 1);
    fre_vt(fms, k->Ax, 0, atLeast1(k->nz) - 1);
    fre_e(fms, k, sizeof(SasnKlu), "sasn-klu");
}

SasnKlu* sasn_kluSetup(FlowmirState* fms, int nvar, const int* ija, double* ops)
{
    int n = nvar;
    SasnKlu* k = static_cast<SasnKlu*>(alc_e(fms, sizeof(SasnKlu), "sasn-klu"));
    k->n = n;

    // The column copy of rows and columns 1..n; taking the rows in order sorts each column.
    std::vector<int> count(n + 1, 0), rowOff(n + 1, 0), colOff(n + 1, 0);
    for (int i = 1; i <= n; i++) {
        count[i]++;
        for (int p = ija[i]; p < ija[i + 1] && ija[p] <= n; p++) {
            count[ija[p]]++;
            rowOff[i]++;
            colOff[ija[p]]++;
        }
    }
    k->Ap = alc_vt<int>(fms, 0, n, "sasn-klu-Ap");
    for (int c = 1; c <= n; c++) k->Ap[c] = k->Ap[c - 1] + count[c];
    int nz = k->Ap[n];
    k->nz = nz;
    k->Ai = alc_vt<int>(fms, 0, atLeast1(nz) - 1, "sasn-klu-Ai");
    k->Apos = alc_vt<int>(fms, 0, atLeast1(nz) - 1, "sasn-klu-Apos");
    k->Ax = alc_vt<double>(fms, 0, atLeast1(nz) - 1, "sasn-klu-Ax");
    std::vector<int> next(k->Ap, k->Ap + n);
    for (int i = 1; i <= n; i++) {
        // The diagonal falls in its column's place among the off-diagonal rows.
        auto put = [&](int col, int pos) {
            int q = next[col - 1]++;
            k->Ai[q] = i - 1;
            k->Apos[q] = pos;
            k->Ax[q] = col == i ? 1.0 + rowOff[i] + colOff[i] : -1.0;
        };
        int p = ija[i];
        for (; p < ija[i + 1] && ija[p] < i; p++) put(ija[p], p);
        put(i, i);
        for (; p < ija[i + 1] && ija[p] <= n; p++) put(ija[p], p);
    }

    klu_defaults(&k->common);
    k->common.scale = 0;             // pivots as the skyline sees them
    k->common.halt_if_singular = 1;  // a zero pivot stops before dividing by it
    k->symbolic = klu_analyze(n, k->Ap, k->Ai, &k->common);
    if (k->symbolic) k->numeric = klu_factor(k->Ap, k->Ai, k->Ax, k->symbolic, &k->common);
    *ops = k->numeric ? factorOps(k) : -1.0;
    if (*ops < 0.0) {
        errorf(fms, WARNING, __FILE__, __LINE__, "Sparse LU set-up failed (status %d): factorization by skyline",
               k->common.status);
        release(fms, k);
        *ops = 0.0;
        return nullptr;
    }
    return k;
}

void sasn_kluFree(FlowmirState* fms, SasnKlu*& klu)
{
    if (!klu) return;
    release(fms, klu);
    klu = nullptr;
}

void sasn_kluFactor(FlowmirState* fms, SasnKlu* k, const double* A)
{
    fms->nLufSkyN++;
    for (int q = 0; q < k->nz; q++) k->Ax[q] = A[k->Apos[q]];
    if (!klu_refactor(k->Ap, k->Ai, k->Ax, k->symbolic, k->numeric, &k->common)) {
        if (k->common.status == KLU_SINGULAR)
            errorf(fms, FATAL, __FILE__, __LINE__, "Zero on the diagonal, eqn %d", k->common.singular_col + 1);
        errorf(fms, FATAL, __FILE__, __LINE__, "Sparse LU factorization failed (status %d)", k->common.status);
    }
    // The refactorisation passes a zero pivot of a one-equation block; the solve would divide
    // by it.
    const double* u = static_cast<const double*>(k->numeric->Udiag);
    const int* Q = k->symbolic->Q;
    for (int j = 0; j < k->n; j++)
        if (fabs(u[j]) < PIVOT_MIN) {
            if (u[j] == 0.0) errorf(fms, FATAL, __FILE__, __LINE__, "Zero on the diagonal, eqn %d", Q[j] + 1);
            errorf(fms, ERROR, __FILE__, __LINE__, "Near zero on the diagonal, eqn %d %6g", Q[j] + 1,
                   (double)(float)u[j]);
        }
}

void sasn_kluSolve(FlowmirState* fms, SasnKlu* k, double* x)
{
    fms->nLusSkyN++;
    klu_solve(k->symbolic, k->numeric, k->n, 1, x + 1, &k->common);
}
