// The age-of-air file. With the outflow matrix A of the airflow nodes (A[i][i] the air leaving
// node i, A[j][i] minus the air going from i to j), the ages t solve A t = M, M the nodes' air
// masses: every node's air is as old as the mixture of the air it receives, aged by its mass
// over its throughflow. t is the sum over j of column j of the inverse times M_j: so the dense
// elimination computes it. Beyond AGE_DENSE_MAX nodes the dense matrix and its n^3 work per
// step are out of reach, and the same system is solved once for M with the sparse solvers.
#include "results/summary_age.h"

#include <cmath>
#include <cstdio>

#include "airflow/dense.h"
#include "network/airnet.h"
#include "results/resfile.h"
#include "results/summary_stats.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/timeconv.h"
#include "network/sparse.h"
#include "transport/sasn.h"

enum { AGE_PATH = 260, AGE_DENSE_MAX = 400 };

static void agePath(FlowmirState* fms, char* path)
{
    pathmerge(fms, path, AGE_PATH, fms->_pdrive, fms->_pdir, fms->_prjname, ".age");
}

static bool listingTime(const FlowmirState* fms, int time)
{
    return fms->listStep <= 0 || time % fms->listStep == 0;
}

// The pattern of the outflow matrix without the ambient: every node's diagonal and both
// entries of every link between two of them.
static void sparseOpen(FlowmirState* fms)
{
    FlowmirState::AgeOut& a = fms->age;
    int n = a.n;
    ColEntry** rows = alc_vt<ColEntry*>(fms, 1, n, "age-rows");
    for (int i = 1; i <= n; i++) rows[i] = nullptr;
    MemBlock* pool = alc_eci(fms, ACOL_BLOCK_SIZE, "age-acol");
    for (int i = 1; i <= n; i++) acolset(fms, rows, &pool, i, i);
    for (const AirLink* l = fms->linkList; l; l = l->next) {
        int i = l->nodeN->nr, j = l->nodeM->nr;
        if (i > n || j > n || i == j) continue;
        acolset(fms, rows, &pool, i, j);
        acolset(fms, rows, &pool, j, i);
    }
    int nelem = 0;
    int* ijaS = acol_struct(fms, rows, n, &nelem, "age-ijaS");
    fre_ec(fms, pool, "age-acol");
    fre_vt(fms, rows, 1, n);
    a.nnz = ija_minset_count(ijaS, n, 0);
    a.ija = alc_vt<int>(fms, 1, a.nnz, "age-ija");
    ija_minset(ijaS, a.ija, n, 0);
    fre_vt(fms, ijaS, 1, nelem);
    a.sa = alc_vt<double>(fms, 1, a.nnz, "age-sa");
    a.ambIn = alc_vt<double>(fms, 1, n, "age-amb");
    a.ambOut = alc_vt<double>(fms, 1, n, "age-amb");
    a.solver = static_cast<SparseSolver*>(alc_e(fms, sizeof(SparseSolver), "age-solver"));
    sasn_newInit(a.solver);
    sasn_configure(fms, a.solver, n, n, a.ija, 0, 0, 0.0f, 0.0f, 1.0f);
}

static void sparseClose(FlowmirState* fms)
{
    FlowmirState::AgeOut& a = fms->age;
    if (a.solver) {
        sasn_free(fms, a.solver);
        fre_e(fms, a.solver, sizeof(SparseSolver), "age-solver");
    }
    fre_vt(fms, a.ija, 1, a.nnz);
    fre_vt(fms, a.sa, 1, a.nnz);
    fre_vt(fms, a.ambIn, 1, a.n);
    fre_vt(fms, a.ambOut, 1, a.n);
}

void set_uage_open(FlowmirState* fms)
{
    FlowmirState::AgeOut& a = fms->age;
    if (a.fp) return;
    char path[AGE_PATH];
    agePath(fms, path);
    ResFile* rf = resfile_open(fms, path);
    if (!rf || !rf->fp) error(fms, FATAL, __FILE__, __LINE__, "Could not open AGE file; is it already open?", "");
    a = {};
    a.fp = rf->fp;
    char d0[16], d1[16];
    datestr(fms, fms->date0, d0);
    datestr(fms, fms->date1, d1);
    fprintf(a.fp, "%d\t%s\t%s\t%d\t%d\t%d\n", fms->nzone, d0, d1, fms->listStep, fms->ageStepOut, fms->ageSumOut);
    if (fms->ageStepOut) {
        fprintf(a.fp, "day\ttime");
        for (int z = 1; z <= fms->nzone; z++) fprintf(a.fp, "\t%d", z);
        fprintf(a.fp, "\n");
    }
    if (fms->ageSumOut) fprintf(a.fp, "day\tzone\tavg\tdev\tmin\tmin\tmax\tmax\n");

    int N = fms->nafnd;
    a.n = N - 1;
    if (a.n > AGE_DENSE_MAX)
        sparseOpen(fms);
    else
        a.flows = static_cast<double**>(alc_mc(fms, 1, N, 1, N, sizeof(double), "flows"));
    if (a.n > 0) {
        a.ident = alc_vt<double>(fms, 1, a.n, "ident");
        a.mass = alc_vt<double>(fms, 1, a.n, "mass");
        a.sum = alc_vt<double>(fms, 1, a.n, "times");
        a.rowchk = alc_vt<double>(fms, 1, a.n, "rowchk");
        a.colchk = alc_vt<double>(fms, 1, a.n, "colchk");
        a.maxdif = alc_vt<double>(fms, 1, a.n, "maxdif");
        for (int i = 1; i <= a.n; i++) a.maxdif[i] = 0.0;
    }
    if (fms->nzone > 0) {
        a.age = alc_vt<float>(fms, 1, fms->nzone, "age");
        a.day = alc_vt<SumStat>(fms, 1, fms->nzone, "age_day");
        a.run = alc_vt<SumStat>(fms, 1, fms->nzone, "age_run");
        for (int z = 1; z <= fms->nzone; z++) a.day[z].n = a.run[z].n = 0;
    }
}

void set_uage_close(FlowmirState* fms, int remove)
{
    FlowmirState::AgeOut& a = fms->age;
    if (remove) {
        char path[AGE_PATH];
        agePath(fms, path);
        resfile_remove_on_commit(fms, path);
    }
    int N = fms->nafnd;
    if (a.flows) fre_mc(fms, a.flows, 1, N, 1, N, sizeof(double));
    sparseClose(fms);
    fre_vt(fms, a.ident, 1, a.n);
    fre_vt(fms, a.mass, 1, a.n);
    fre_vt(fms, a.sum, 1, a.n);
    fre_vt(fms, a.rowchk, 1, a.n);
    fre_vt(fms, a.colchk, 1, a.n);
    fre_vt(fms, a.maxdif, 1, a.n);
    fre_vt(fms, a.age, 1, fms->nzone);
    fre_vt(fms, a.day, 1, fms->nzone);
    fre_vt(fms, a.run, 1, fms->nzone);
    a = {};
}

// The outflow matrix of the step's flows over every airflow node, the ambient last.
static void outflowMatrix(FlowmirState* fms, double** A)
{
    int N = fms->nafnd;
    for (int i = 1; i <= N; i++)
        for (int j = 1; j <= N; j++) A[i][j] = 0.0;
    for (const AirLink* l = fms->linkList; l; l = l->next) {
        int i = l->nodeN->nr, j = l->nodeM->nr;
        for (int k = 0; k < 2; k++) {
            double F = l->Flow[k];
            if (F > 0.0) {
                A[i][i] += F;
                A[j][i] -= F;
            } else if (F < 0.0) {
                A[j][j] -= F;
                A[i][j] += F;
            }
        }
    }
    for (int i = 1; i <= N; i++)
        if (A[i][i] < 1e-6) A[i][i] = 1e-6;
}

// Per node the air it receives (its row) against the air it sends (its column), the largest
// relative difference so far. A node without flow in the step has nothing to compare.
static void balanceCheck(FlowmirState* fms, double** A)
{
    FlowmirState::AgeOut& a = fms->age;
    int N = fms->nafnd;
    for (int n = 1; n <= a.n; n++) {
        double row = 0.0, col = 0.0;
        for (int k = 1; k <= N; k++) {
            if (k == n) continue;
            row += fabs(A[n][k]);
            col += fabs(A[k][n]);
        }
        a.rowchk[n] = row;
        a.colchk[n] = col;
        if (row + col <= 0.0) continue;
        double d = fabs(row - col) / (row + col);
        if (d > a.maxdif[n]) a.maxdif[n] = d;
    }
}

// The same outflow matrix in row-indexed storage, the ambient's share kept beside it; the
// balance check from it; and the ages in seconds in a.sum from one solution for the masses.
static void sparseAges(FlowmirState* fms)
{
    FlowmirState::AgeOut& a = fms->age;
    int n = a.n;
    double* sa = a.sa;
    for (int k = 1; k <= a.nnz; k++) sa[k] = 0.0;
    for (int i = 1; i <= n; i++) a.ambIn[i] = a.ambOut[i] = 0.0;
    for (const AirLink* l = fms->linkList; l; l = l->next)
        for (int k = 0; k < 2; k++) {
            double F = l->Flow[k];
            if (!(F > 0.0) && !(F < 0.0)) continue;
            int from = F > 0.0 ? l->nodeN->nr : l->nodeM->nr;
            int to = F > 0.0 ? l->nodeM->nr : l->nodeN->nr;
            F = fabs(F);
            if (from <= n && to <= n) {
                sa[from] += F;
                sa[sa_find(a.ija, to, from)] -= F;
            } else if (from <= n) {
                sa[from] += F;
                a.ambOut[from] += F;
            } else if (to <= n) {
                a.ambIn[to] += F;
            }
        }
    for (int i = 1; i <= n; i++)
        if (sa[i] < 1e-6) sa[i] = 1e-6;
    for (int i = 1; i <= n; i++) {
        a.rowchk[i] = a.ambIn[i];
        a.colchk[i] = a.ambOut[i];
    }
    for (int i = 1; i <= n; i++)
        for (int k = a.ija[i]; k < a.ija[i + 1]; k++) {
            a.rowchk[i] += fabs(sa[k]);
            a.colchk[a.ija[k]] += fabs(sa[k]);
        }
    for (int i = 1; i <= n; i++) {
        double sum = a.rowchk[i] + a.colchk[i];
        if (sum <= 0.0) continue;
        double d = fabs(a.rowchk[i] - a.colchk[i]) / sum;
        if (d > a.maxdif[i]) a.maxdif[i] = d;
    }
    sasn_prepMat(fms, a.solver, sa);
    sasn_solve(fms, a.solver, a.mass, a.sum);
}

void writeAge_stepEnd(FlowmirState* fms, int time)
{
    FlowmirState::AgeOut& a = fms->age;
    if (!a.fp) return;
    double** A = a.flows;
    for (AirNode* n = fms->nodeList; n; n = n->next)
        if (n->nr <= a.n) a.mass[n->nr] = n->M;
    if (a.solver) {
        sparseAges(fms);
    } else if (a.n > 0) {
        outflowMatrix(fms, A);
        balanceCheck(fms, A);
        // The ambient's row and column drop out: its air has age 0.
        luf_ge(fms, A, a.n);
        // Column j of the inverse times M_j: the time air from node j spends in each node.
        for (int i = 1; i <= a.n; i++) a.sum[i] = 0.0;
        for (int j = 1; j <= a.n; j++) {
            for (int i = 1; i <= a.n; i++) a.ident[i] = i == j ? 1.0 : 0.0;
            lus_ge(fms, A, a.ident, a.n);
            for (int i = 1; i <= a.n; i++) a.sum[i] += a.ident[i] * a.mass[j];
        }
    }
    int z = 0;
    for (AirNode* n = fms->nodeList; n; n = n->next)
        if (n->styp == NODE_ZONE && n->nr <= a.n && ++z <= fms->nzone) a.age[z] = (float)(a.sum[n->nr] / 3600.0);
    bool list = fms->ageStepOut && listingTime(fms, time);
    if (list) {
        char date[16], clock[16];
        datestr(fms, fms->dayofy, date);
        timestr(fms, time, clock);
        fprintf(a.fp, "%s\t%s", date, clock);
    }
    for (int k = 1; k <= fms->nzone; k++) {
        if (list) fprintf(a.fp, "\t%.6e", a.age[k]);
        stat_sample(&a.day[k], a.age[k], time);
    }
    if (list) fprintf(a.fp, "\n");
}

void writeAge_dayEnd(FlowmirState* fms)
{
    FlowmirState::AgeOut& a = fms->age;
    if (!a.fp || fms->nzone < 1) return;
    if (a.day[1].n == 0) error(fms, FATAL, __FILE__, __LINE__, "/ 0, call Orvo", "");
    char date[16];
    datestr(fms, fms->dayofy, date);
    for (int z = 1; z <= fms->nzone; z++) {
        if (fms->ageSumOut) {
            fprintf(a.fp, "%s\t%d", date, z);
            stat_write(fms, a.fp, &a.day[z], false);
        }
        stat_merge(&a.run[z], &a.day[z], fms->dayofy);
    }
}

void writeAge_simEnd(FlowmirState* fms)
{
    FlowmirState::AgeOut& a = fms->age;
    if (!a.fp) return;
    if (fms->nzone > 0 && a.run[1].n == 0) error(fms, FATAL, __FILE__, __LINE__, "/ 0, call Orvo", "");
    if (fms->ageSumOut)
        for (int z = 1; z <= fms->nzone; z++) {
            fprintf(a.fp, "final\t%d", z);
            stat_write(fms, a.fp, &a.run[z], true);
        }
    LOG(fms, "Age-of-air balance data: |row[n] - col[n]|/(row[n] + col[n])\n");
    bool review = false;
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (n->nr > a.n) continue;
        double d = a.maxdif[n->nr];
        LOG(fms, "  %.6e %c %d\n", d, n->styp == NODE_ZONE ? 'z' : 'j', n->s_nr);
        if (d > 2.0 * fms->afRelcnvg) review = true;
    }
    if (review) error(fms, WARNING, __FILE__, __LINE__, "Review age-of-air balance data in XLog file", "");
}
