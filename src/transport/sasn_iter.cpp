// The iterative mass-fraction solvers: successive over-relaxation and biconjugate gradients.
#include <cmath>

#include "airflow/vecops.h"
#include "support/error.h"
#include "support/timeconv.h"
#include "transport/sasn_impl.h"

// Diagonals below these magnitudes are reported: single precision's epsilon for the
// relaxation, double precision's for the row scaling of the gradients.
static const double SOR_DIAG_MIN = 1.1920929e-7;
static const double BCG_DIAG_MIN = 2.220446e-16;

enum { BCG_ATTEMPTS = 12 };

// Each later attempt asks this much more of the residual.
static const double BCG_TIGHTEN = 32.0;

static void checkDiagonal(FlowmirState* fms, int eqn, double a, double tiny)
{
    if (fabs(a) >= tiny) return;
    if (a == 0.0) errorf(fms, FATAL, __FILE__, __LINE__, "Zero on the diagonal, eqn %d", eqn);
    errorf(fms, ERROR, __FILE__, __LINE__, "Near zero on the diagonal, eqn %d", eqn);
}

// --- successive over-relaxation ------------------------------------------------------------

void sasn_sorPrep(FlowmirState* fms, SparseSolver* s)
{
    const double* A = s->A;
    for (int i = 1; i <= s->nvar; i++) {
        checkDiagonal(fms, i, A[i], SOR_DIAG_MIN);
        s->d[i] = s->relax / A[i];
    }
}

int sasn_sorSolve(FlowmirState* fms, SparseSolver* s, const double* b, double* x)
{
    fms->nSaSor++;
    const double* A = s->A;
    const int* ija = s->ija;
    const double* d = s->d;
    int n = s->nvar;
    double tol = s->tol;
    for (int it = 1; it <= s->maxIter; it++) {
        fms->nSaSorIt++;
        bool settled = true;
        for (int j = 1; j <= n; j++) {
            // The whole row: the given columns stay on the left.
            double r = b[j] - A[j] * x[j];
            for (int k = ija[j]; k < ija[j + 1]; k++) r -= A[k] * x[ija[k]];
            double c = r * d[j];
            x[j] += c;
            if (fabs(c) > tol * fabs(x[j])) settled = false;
        }
        if (settled) return 0;
    }
    char date[32], time[32];
    datestr(fms, fms->dayofy, date);
    timestr(fms, fms->stepEndTime, time);
    errorf(fms, WARNING, __FILE__, __LINE__, "SOR did not converge in %d iterations at %s %s", s->maxIter, date,
           time);
    return 1;
}

// --- biconjugate gradients -----------------------------------------------------------------
// The system is the solved block with every row divided by its diagonal (inverse in s->d);
// the given columns are on the right-hand side, so the products stop at column nvar.

// out = D^-1 A v.
static void scaledProduct(const SparseSolver* s, const double* v, double* out)
{
    const double* A = s->A;
    const int* ija = s->ija;
    int n = s->nvar;
    for (int i = 1; i <= n; i++) {
        double sum = A[i] * v[i];
        for (int k = ija[i]; k < ija[i + 1] && ija[k] <= n; k++) sum += A[k] * v[ija[k]];
        out[i] = sum * s->d[i];
    }
}

// out = (D^-1 A)' v = A' D^-1 v.
static void scaledTransposeProduct(const SparseSolver* s, const double* v, double* out)
{
    const double* A = s->A;
    const int* ija = s->ija;
    int n = s->nvar;
    for (int i = 1; i <= n; i++) out[i] = 0.0;
    for (int i = 1; i <= n; i++) {
        double w = v[i] * s->d[i];
        out[i] += A[i] * w;
        for (int k = ija[i]; k < ija[i + 1] && ija[k] <= n; k++) out[ija[k]] += A[k] * w;
    }
}

// u . v over 1..n
static double dot(int n, const double* u, const double* v)
{
    return ddot0(n, u + 1, v + 1);
}

// One attempt from the current x on the scaled right-hand side bs, until |r| <= t |bs|.
static void bcgIterate(FlowmirState* fms, SparseSolver* s, const double* bs, double bnorm, double t, double* x)
{
    int n = s->nvar;
    double *r = s->r, *rr = s->rr, *p = s->p, *pp = s->pp, *z = s->z, *zz = s->zz;
    scaledProduct(s, x, r);
    for (int i = 1; i <= n; i++) {
        r[i] = bs[i] - r[i];
        rr[i] = r[i];
    }
    if (sqrt(dsqr1(n, r)) / bnorm <= t) return;
    double bkden = 0.0;
    for (int it = 1; it <= s->maxIter; it++) {
        fms->nSaBcgIt++;
        double bknum = dot(n, rr, r);
        if (it == 1) {
            for (int i = 1; i <= n; i++) {
                p[i] = r[i];
                pp[i] = rr[i];
            }
        } else {
            if (bkden == 0.0) errorf(fms, FATAL, __FILE__, __LINE__, "bkden = 0");
            double bk = bknum / bkden;
            for (int i = 1; i <= n; i++) {
                p[i] = r[i] + bk * p[i];
                pp[i] = rr[i] + bk * pp[i];
            }
        }
        bkden = bknum;
        scaledProduct(s, p, z);
        double akden = dot(n, z, pp);
        if (akden == 0.0) errorf(fms, FATAL, __FILE__, __LINE__, "akden = 0");
        double ak = bknum / akden;
        scaledTransposeProduct(s, pp, zz);
        for (int i = 1; i <= n; i++) {
            x[i] += ak * p[i];
            r[i] -= ak * z[i];
            rr[i] -= ak * zz[i];
        }
        if (sqrt(dsqr1(n, r)) / bnorm <= t) return;
    }
}

int sasn_bcgSolve(FlowmirState* fms, SparseSolver* s, const double* b, double* x)
{
    fms->nSaBcg++;
    int n = s->nvar;
    const double* A = s->A;
    double* bs = s->work;
    sasn_givenToRhs(s, A, b, x, bs);
    bool zero = true;
    for (int i = 1; i <= n && zero; i++) zero = bs[i] == 0.0;
    if (zero) {
        for (int i = 1; i <= n; i++) x[i] = 0.0;
        return 0;
    }
    for (int i = 1; i <= n; i++) {
        checkDiagonal(fms, i, A[i], BCG_DIAG_MIN);
        s->d[i] = 1.0 / A[i];
        bs[i] *= s->d[i];
    }
    double bnorm = sqrt(dsqr1(n, bs));
    double tol = s->tol, floor = s->floor;
    double t = tol;
    for (int attempt = 1; attempt <= BCG_ATTEMPTS; attempt++, t /= BCG_TIGHTEN) {
        bcgIterate(fms, s, bs, bnorm, t, x);
        bool failed = false;
        // A value that is not a number fails like a negative one.
        for (int j = 1; j <= n; j++)
            if (!(x[j] >= 0.0)) {
                x[j] = 0.0;
                failed = true;
            }
        // The residual of the scaled rows, which is in units of x.
        if (!failed) {
            double* ax = s->z;
            scaledProduct(s, x, ax);
            for (int j = 1; j <= n && !failed; j++) failed = x[j] > floor && bs[j] - ax[j] > tol * x[j];
        }
        if (!failed) return 0;
    }
    char date[32], time[32];
    datestr(fms, fms->dayofy, date);
    timestr(fms, fms->stepEndTime, time);
    errorf(fms, WARNING, __FILE__, __LINE__, "BiCG did not converge in 12 attempts at %s %s", date, time);
    return 1;
}
