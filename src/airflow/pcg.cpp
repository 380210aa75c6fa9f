// Incomplete Cholesky preconditioned conjugate gradients on the lower-triangle storage.
#include "airflow/pcg.h"

#include <cmath>

#include "network/sparse.h"
#include "support/error.h"
#include "support/heap.h"

static int atLeast1(int n)
{
    return n > 0 ? n : 1;
}

// Position of column col in row row of a split part (rows ptr[], columns col[]), or 0.
static int splitFind(const int* ptr, const int* cols, int row, int col)
{
    int lo = ptr[row], hi = ptr[row + 1] - 1;
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        if (cols[mid] == col) return mid;
        if (cols[mid] < col)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return 0;
}

int pcg_alc(FlowmirState* fms, AfMat* mat)
{
    int errors = 0;
    int n = mat->nvar;
    const int* ija = mat->ija;
    PcgData* pcg = static_cast<PcgData*>(alc_e(fms, sizeof(PcgData), "pcg"));
    mat->pcg = pcg;
    pcg->n = n;
    int rows = atLeast1(n);

    // Lower part: the stored entries of rows 1..n, in ija order.
    int nu = 0;
    for (int i = 1; i <= n; i++)
        for (int k = ija[i]; k < ija[i + 1]; k++)
            if (ija[k] < i) nu++;
    pcg->nu = nu;
    int len = atLeast1(nu);
    pcg->il = alc_vt<int>(fms, 1, rows + 1, "il");
    pcg->jl = alc_vt<int>(fms, 1, len, "jl");
    pcg->iu = alc_vt<int>(fms, 1, rows + 1, "iu");
    pcg->ju = alc_vt<int>(fms, 1, len, "ju");
    pcg->ad = alc_vt<double>(fms, 1, rows, "ad");
    pcg->au = alc_vt<double>(fms, 1, len, "au");
    pcg->al = alc_vt<double>(fms, 1, len, "al");
    pcg->utol = alc_vt<int>(fms, 1, len, "utol");
    pcg->atou = alc_vt<int>(fms, 1, len, "atou");
    pcg->t1 = alc_vt<double>(fms, 1, rows, "t1");
    pcg->j1 = alc_vt<int>(fms, 1, rows, "j1");
    pcg->j2 = alc_vt<int>(fms, 1, rows, "j2");

    int pos = 1;
    for (int i = 1; i <= n; i++) {
        pcg->il[i] = pos;
        for (int k = ija[i]; k < ija[i + 1]; k++)
            if (ija[k] < i) pcg->jl[pos++] = ija[k];
    }
    pcg->il[n + 1] = pos;

    // Upper part: the transposed lower part; rows in ascending order give sorted columns.
    int* count = pcg->j2;
    for (int i = 1; i <= n; i++) count[i] = 0;
    for (int p = 1; p <= nu; p++) count[pcg->jl[p]]++;
    pcg->iu[1] = 1;
    for (int i = 1; i <= n; i++) pcg->iu[i + 1] = pcg->iu[i] + count[i];
    int* next = pcg->j1;
    for (int i = 1; i <= n; i++) next[i] = pcg->iu[i];
    for (int j = 1; j <= n; j++)
        for (int p = pcg->il[j]; p < pcg->il[j + 1]; p++) pcg->ju[next[pcg->jl[p]]++] = j;
    for (int i = 1; i <= n; i++) next[i] = count[i] = 0;

    // Cross references of every upper entry (i, j): its value in sa, its lower copy.
    for (int i = 1; i <= n; i++)
        for (int p = pcg->iu[i]; p < pcg->iu[i + 1]; p++) {
            int j = pcg->ju[p];
            pcg->atou[p] = sa_find(ija, j, i);
            if (pcg->atou[p] == 0) {
                error(fms, ERROR, __FILE__, __LINE__, "A-U cross reference error", "");
                errors++;
            }
            pcg->utol[p] = splitFind(pcg->il, pcg->jl, j, i);
            if (pcg->utol[p] == 0) {
                error(fms, ERROR, __FILE__, __LINE__, "U-L cross reference error", "");
                errors++;
            }
        }

    int neq = atLeast1(mat->neq);
    pcg->p = alc_vt<double>(fms, 1, neq, "af-p");
    pcg->pp = alc_vt<double>(fms, 1, neq, "af-pp");
    pcg->r = alc_vt<double>(fms, 1, neq, "af-r");
    pcg->rr = alc_vt<double>(fms, 1, neq, "af-rr");
    pcg->z = alc_vt<double>(fms, 1, neq, "af-z");
    pcg->zz = alc_vt<double>(fms, 1, neq, "af-zz");
    return errors;
}

void pcg_fre(FlowmirState* fms, AfMat* mat)
{
    PcgData* pcg = mat->pcg;
    if (!pcg) return;
    int rows = atLeast1(pcg->n), len = atLeast1(pcg->nu), neq = atLeast1(mat->neq);
    fre_vt(fms, pcg->il, 1, rows + 1);
    fre_vt(fms, pcg->jl, 1, len);
    fre_vt(fms, pcg->iu, 1, rows + 1);
    fre_vt(fms, pcg->ju, 1, len);
    fre_vt(fms, pcg->ad, 1, rows);
    fre_vt(fms, pcg->au, 1, len);
    fre_vt(fms, pcg->al, 1, len);
    fre_vt(fms, pcg->utol, 1, len);
    fre_vt(fms, pcg->atou, 1, len);
    fre_vt(fms, pcg->t1, 1, rows);
    fre_vt(fms, pcg->j1, 1, rows);
    fre_vt(fms, pcg->j2, 1, rows);
    fre_vt(fms, pcg->p, 1, neq);
    fre_vt(fms, pcg->pp, 1, neq);
    fre_vt(fms, pcg->r, 1, neq);
    fre_vt(fms, pcg->rr, 1, neq);
    fre_vt(fms, pcg->z, 1, neq);
    fre_vt(fms, pcg->zz, 1, neq);
    fre_e(fms, pcg, sizeof(PcgData), "pcg");
    mat->pcg = nullptr;
}

void pcg_factor(FlowmirState* fms, AfMat* mat)
{
    PcgData* pcg = mat->pcg;
    int n = pcg->n;
    double* ad = pcg->ad;
    double* au = pcg->au;
    int* mark = pcg->j1;  // mark[col]: position of (j, col) in row j being updated, else 0
    for (int i = 1; i <= n; i++) ad[i] = mat->sa[i];
    for (int p = 1; p <= pcg->nu; p++) au[p] = mat->sa[pcg->atou[p]];

    // Right-looking elimination restricted to the pattern: row k scales its upper entries
    // by its pivot and updates the rows below it where the pattern has room.
    for (int k = 1; k <= n; k++) {
        double d = ad[k];
        if (!(d > 0.0)) error(fms, FATAL, __FILE__, __LINE__, "Matrix factorization failed", "");
        int end = pcg->iu[k + 1];
        for (int p = pcg->iu[k]; p < end; p++) au[p] /= d;
        for (int p = pcg->iu[k]; p < end; p++) {
            int j = pcg->ju[p];
            double ukj = au[p];
            ad[j] -= ukj * ukj * d;
            for (int q = pcg->iu[j]; q < pcg->iu[j + 1]; q++) mark[pcg->ju[q]] = q;
            for (int p2 = p + 1; p2 < end; p2++) {
                int q = mark[pcg->ju[p2]];
                if (q) au[q] -= ukj * d * au[p2];
            }
            for (int q = pcg->iu[j]; q < pcg->iu[j + 1]; q++) mark[pcg->ju[q]] = 0;
        }
        ad[k] = 1.0 / d;
    }
    for (int p = 1; p <= pcg->nu; p++) pcg->al[pcg->utol[p]] = au[p];
}

// z = M^-1 r with M = U' D U: forward with the lower copy, scale, back with U.
static void precondition(const PcgData* pcg, const double* r, double* z)
{
    int n = pcg->n;
    for (int i = 1; i <= n; i++) {
        double s = r[i];
        for (int p = pcg->il[i]; p < pcg->il[i + 1]; p++) s -= pcg->al[p] * z[pcg->jl[p]];
        z[i] = s;
    }
    for (int i = 1; i <= n; i++) z[i] *= pcg->ad[i];
    for (int i = n; i >= 1; i--) {
        double s = z[i];
        for (int p = pcg->iu[i]; p < pcg->iu[i + 1]; p++) s -= pcg->au[p] * z[pcg->ju[p]];
        z[i] = s;
    }
}

static double dot1(int n, const double* x, const double* y)
{
    double s = 0.0;
    for (int i = 1; i <= n; i++) s += x[i] * y[i];
    return s;
}

int sa_pcg(FlowmirState* fms, AfMat* mat)
{
    fms->nSaPcg++;
    PcgData* pcg = mat->pcg;
    int n = mat->nvar;
    double* x = mat->x;
    const double* b = mat->b;
    double *r = pcg->r, *z = pcg->z, *p = pcg->p, *q = pcg->pp;
    for (int i = n + 1; i <= mat->neq; i++) x[i] = b[i];

    sa_mlt_xasb(mat->sa, mat->ija, x, q, n);
    for (int i = 1; i <= n; i++) r[i] = b[i] - q[i];
    double h = sqrt(dot1(n, r, r));
    // The start already solves the system: keep it.
    if (!(h > 0.0)) return 0;

    int count = 0;
    bool converged = false;
    double rhoPrev = 1.0;
    while (!converged && count <= mat->pcgItmax) {
        precondition(pcg, r, z);
        double rho = dot1(n, r, z);
        if (count == 0)
            for (int i = 1; i <= n; i++) p[i] = z[i];
        else
            for (int i = 1; i <= n; i++) p[i] = rho / rhoPrev * p[i] + z[i];
        sa_mlt_xasb(mat->sa, mat->ija, p, q, n);
        double t = dot1(n, p, q);
        if (t == 0.0) error(fms, FATAL, __FILE__, __LINE__, "Denominator = 0", "");
        double alpha = rho / t;
        for (int i = 1; i <= n; i++) {
            x[i] += alpha * p[i];
            r[i] -= alpha * q[i];
        }
        count++;
        rhoPrev = rho;
        converged = mat->pcgCnvg >= (float)(sqrt(dot1(n, r, r)) / h);
    }
    if (!converged)
        errorf(fms, ERROR, __FILE__, __LINE__, "PCG did not converge in %d iterations", count - 1);
    fms->nSaPcgIt += count;
    return count;
}
