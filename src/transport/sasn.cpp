// The mass-fraction solvers: configuration and workspace, the direct methods (unsymmetric
// skyline or sparse LU, dense LU with partial pivoting) and the dispatch to the iterative ones.
#include "transport/sasn.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "airflow/skyline.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"
#include "transport/sasn_impl.h"

static int atLeast1(int n)
{
    return n > 0 ? n : 1;
}

void sasn_newInit(SparseSolver* s)
{
    *s = SparseSolver{};
    s->method = 4;
}

void sasn_givenToRhs(const SparseSolver* s, const double* A, const double* b, const double* x, double* out)
{
    const int* ija = s->ija;
    int nvar = s->nvar;
    for (int i = 1; i <= nvar; i++) {
        double sum = b[i];
        // Columns ascend within a row: the given ones close it.
        for (int k = ija[i + 1] - 1; k >= ija[i] && ija[k] > nvar; k--) sum -= A[k] * x[ija[k]];
        out[i] = sum;
    }
}

// --- method 0 ------------------------------------------------------------------------------

// Multiply-adds of luf_sky_n on the row profiles lal and column profiles lau, loop by loop.
static double skylineOps(int n, const std::vector<int>& lal, const std::vector<int>& lau)
{
    double ops = 0.0;
    for (int k = 1; k <= n; k++) {
        int fRow = k - lal[k], fCol = k - lau[k];
        for (int r = fCol; r < k; r++) ops += std::max(0, r - std::max(fCol, r - lal[r]));
        for (int c = fRow; c < k; c++) ops += std::max(0, c - std::max(fRow, c - lau[c])) + 1;
        ops += k - std::max(fRow, fCol);
    }
    return ops;
}

// The summary sky_alc writes, for a skyline that the sparse LU replaces and that is therefore
// never allocated.
static void logSkylineSummary(FILE* log, int n, int lower, int upper)
{
    if (!log) return;
    fprintf(log, " Skyline Matrix:\n");
    fprintf(log, "     Number of rows: %d\n", n);
    fprintf(log, "     Lower Triangle: %d elements\n", lower);
    fprintf(log, "     Upper Triangle: %d elements\n", upper);
    fprintf(log, "     Fill fraction: %.3f\n", n > 0 ? (double)(lower + n + upper) / ((double)n * n) : 0.0);
}

// The skyline factorises by the profile, the sparse LU on a fill-reducing ordering of the
// same block; the one with fewer multiply-adds is kept unless the host asks for one. Both
// estimates are made whatever the choice so that the log compares them.
static void configureLu(FlowmirState* fms, SparseSolver* s)
{
    int n = s->nvar;
    const int* ija = s->ija;
    std::vector<int> lal(n + 1, 0), lau(n + 1, 0);
    for (int i = 1; i <= n; i++)
        for (int k = ija[i]; k < ija[i + 1]; k++) {
            int c = ija[k];
            if (c < i)
                lal[i] = std::max(lal[i], i - c);
            else if (c <= n)
                lau[c] = std::max(lau[c], c - i);
        }
    s->skyOps = skylineOps(n, lal, lau);
    s->kluOps = 0.0;
    SasnKlu* klu = n > 0 ? sasn_kluSetup(fms, n, ija, &s->kluOps) : nullptr;
    int choice = fms->afFactorChoice;
    bool useKlu = klu && (choice == 2 || (choice == 0 && s->kluOps < s->skyOps));
    if (useKlu) {
        s->klu = klu;
        long lower = 0, upper = 0;
        for (int i = 1; i <= n; i++) {
            lower += lal[i];
            upper += lau[i];
        }
        logSkylineSummary(fms->logFile, n, (int)lower, (int)upper);
    } else {
        if (klu) sasn_kluFree(fms, klu);
        s->sky.sym = 0;
        sky_alc(fms, n, ija, &s->sky, fms->logFile);
    }
    if (n > 0)
        LOG(fms, "  factorization by %s (%s): skyline %.0f, sparse LU %.0f multiply-adds\n",
            s->klu ? "sparse LU (KLU)" : "skyline", choice ? "requested" : "fewer operations", s->skyOps,
            s->kluOps);
}

// --- method 3 ------------------------------------------------------------------------------

// LU with partial pivoting: row k of aa receives the row chosen at step k (the values move,
// the rows share one block), piv[k] names it; L below the diagonal, U on and above it.
static void denseFactor(FlowmirState* fms, SparseSolver* s, const double* A)
{
    fms->nLufGe++;
    int n = s->nvar;
    const int* ija = s->ija;
    double** a = s->aa;
    for (int i = 1; i <= n; i++) {
        double* row = a[i];
        for (int j = 1; j <= n; j++) row[j] = 0.0;
        row[i] = A[i];
        for (int k = ija[i]; k < ija[i + 1] && ija[k] <= n; k++) row[ija[k]] = A[k];
    }
    for (int k = 1; k <= n; k++) {
        int p = k;
        double big = fabs(a[k][k]);
        for (int i = k + 1; i <= n; i++)
            if (fabs(a[i][k]) > big) {
                big = fabs(a[i][k]);
                p = i;
            }
        if (big == 0.0) errorf(fms, FATAL, __FILE__, __LINE__, "Zero on the diagonal, eqn %d", k);
        s->piv[k] = p;
        if (p != k)
            for (int j = 1; j <= n; j++) std::swap(a[p][j], a[k][j]);
        double inv = 1.0 / a[k][k];
        const double* rowK = a[k];
        for (int i = k + 1; i <= n; i++) {
            double* row = a[i];
            double l = row[k] * inv;
            row[k] = l;
            if (l == 0.0) continue;
            for (int j = k + 1; j <= n; j++) row[j] -= l * rowK[j];
        }
    }
}

static void denseSolve(FlowmirState* fms, const SparseSolver* s, double* w)
{
    fms->nLusGe++;
    int n = s->nvar;
    double** a = s->aa;
    for (int k = 1; k <= n; k++)
        if (s->piv[k] != k) std::swap(w[k], w[s->piv[k]]);
    for (int i = 2; i <= n; i++) {
        double sum = w[i];
        for (int j = 1; j < i; j++) sum -= a[i][j] * w[j];
        w[i] = sum;
    }
    for (int i = n; i >= 1; i--) {
        double sum = w[i];
        for (int j = i + 1; j <= n; j++) sum -= a[i][j] * w[j];
        w[i] = sum / a[i][i];
    }
}

// --- interface -----------------------------------------------------------------------------

void sasn_configure(FlowmirState* fms, SparseSolver* s, int neq, int nvar, const int* ija, int method, int maxIter,
                    float tol, float floor, float relax)
{
    if (s->method != 4) sasn_free(fms, s);
    sasn_newInit(s);
    s->neq = neq;
    s->nvar = nvar;
    s->nnz = ija[neq + 1] - 1;
    s->ija = ija;
    // Any other method is logged as LU decomposition, and so it is solved.
    s->method = (method >= 0 && method <= 3) ? method : 3;
    s->maxIter = maxIter;
    s->tol = tol;
    s->floor = floor;
    s->relax = relax;
    int nq = atLeast1(neq), nv = atLeast1(nvar);
    switch (s->method) {
    case 0:
        s->work = alc_vt<double>(fms, 1, nq, "sasn-work");
        configureLu(fms, s);
        break;
    case 1:
        s->maxIter = neq + 10;
        s->r = alc_vt<double>(fms, 1, nq, "sasn-bcg");
        s->rr = alc_vt<double>(fms, 1, nq, "sasn-bcg");
        s->p = alc_vt<double>(fms, 1, nq, "sasn-bcg");
        s->pp = alc_vt<double>(fms, 1, nq, "sasn-bcg");
        s->z = alc_vt<double>(fms, 1, nq, "sasn-bcg");
        s->zz = alc_vt<double>(fms, 1, nq, "sasn-bcg");
        s->d = alc_vt<double>(fms, 1, nv, "sasn-bcg");
        s->work = alc_vt<double>(fms, 1, nq, "sasn-work");
        break;
    case 2:
        s->d = alc_vt<double>(fms, 1, nv, "sasn-sor");
        break;
    case 3:
        s->aa = static_cast<double**>(alc_mc(fms, 1, nv, 1, nv, sizeof(double), "sasn-aa"));
        s->piv = alc_vt<int>(fms, 1, nv, "sasn-piv");
        s->work = alc_vt<double>(fms, 1, nq, "sasn-work");
        break;
    }
}

void sasn_prepMat(FlowmirState* fms, SparseSolver* s, const double* A)
{
    s->A = A;
    switch (s->method) {
    case 0:
        if (s->klu) {
            sasn_kluFactor(fms, s->klu, A);
        } else {
            fill_sky_n(&s->sky, s->nvar, s->ija, A);
            luf_sky_n(fms, &s->sky);
        }
        break;
    case 2:
        sasn_sorPrep(fms, s);
        break;
    case 3:
        denseFactor(fms, s, A);
        break;
    default:  // BiCG scales its rows when it solves
        break;
    }
}

int sasn_solve(FlowmirState* fms, SparseSolver* s, const double* b, double* x)
{
    if (s->method == 4 || !s->A) return 0;
    switch (s->method) {
    case 1:
        return sasn_bcgSolve(fms, s, b, x);
    case 2:
        return sasn_sorSolve(fms, s, b, x);
    default:
        break;
    }
    double* w = s->work;
    sasn_givenToRhs(s, s->A, b, x, w);
    if (s->method == 3)
        denseSolve(fms, s, w);
    else if (s->klu)
        sasn_kluSolve(fms, s->klu, w);
    else
        lus_sky_n(fms, &s->sky, w);
    for (int i = 1; i <= s->nvar; i++) x[i] = w[i];
    return 0;
}

void sasn_free(FlowmirState* fms, SparseSolver* s)
{
    if (s->method == 4) return;
    int nq = atLeast1(s->neq), nv = atLeast1(s->nvar);
    if (s->klu) sasn_kluFree(fms, s->klu);
    if (s->sky.ad) sky_fre(fms, &s->sky);
    fre_vt(fms, s->r, 1, nq);
    fre_vt(fms, s->rr, 1, nq);
    fre_vt(fms, s->p, 1, nq);
    fre_vt(fms, s->pp, 1, nq);
    fre_vt(fms, s->z, 1, nq);
    fre_vt(fms, s->zz, 1, nq);
    fre_vt(fms, s->d, 1, nv);
    if (s->aa) fre_mc(fms, s->aa, 1, nv, 1, nv, sizeof(double));
    fre_vt(fms, s->piv, 1, nv);
    fre_vt(fms, s->work, 1, nq);
    sasn_newInit(s);
}
