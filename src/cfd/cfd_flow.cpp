// The CFD solver's entry: read the case, run the steady solution or one implicit step of the
// flow, then the contaminants, and write the reports. Between calls the fields stay in the
// arrays, so each call continues from the last solution.
#include <cmath>
#include <cstring>

#include "cfd/cfd_solve.h"
#include "support/error.h"
#include "support/log.h"

static void residualLine(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    cfd_say(fms, " I=%ld, Continuity=%-6.1le, U=%-2.1le, V=%-2.1le, W=%-2.1le, Energy=%-2.1le, Continuity_A=%-6.1le\n",
            (long)r->iter, r->rc / (r->rcRef + 1e-10), r->res[0] / (r->resRef[0] + 1e-10),
            r->res[1] / (r->resRef[1] + 1e-10), r->res[2] / (r->resRef[2] + 1e-10),
            r->res[3] / (r->resRef[3] + 1e-10), r->rc);
}

static double cpuNow()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + 1e-9 * t.tv_nsec;
}

// Adds the processor time since *mark to slot k when the caller measures.
static void lap(CfdRun* r, int k, double* mark)
{
    if (!r->timing) return;
    double now = cpuNow();
    r->cpu[k] += now - *mark;
    *mark = now;
}

// One outer iteration: momentum, pressure correction, energy, viscosity.
static void outerIteration(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    double mark = r->timing ? cpuNow() : 0.0;
    r->iter++;
    cfd_openings(fms, r->iter);
    cfd_wall_values(fms);
    int n[3] = {r->ni, r->nj, r->nk};
    for (int d = 0; d < 3; d++) {
        r->res[d] = r->resRef[d] = 0.0;
        if (n[d] > 1) cfd_momentum(fms, d, &r->res[d], &r->resRef[d]);
        lap(r, d, &mark);
    }
    cfd_pressure_correction(fms);
    lap(r, 3, &mark);
    r->res[3] = r->resRef[3] = 0.0;
    if (r->energy) {
        cfd_wall_values(fms);
        cfd_energy(fms, &r->res[3], &r->resRef[3]);
    }
    lap(r, 4, &mark);
    cfd_viscosity(fms);
    lap(r, 5, &mark);
}

// The convergence ratio. A still field without any imbalance has no reference; it has
// converged once its temperatures have settled too.
static double ratio(const CfdRun* r)
{
    if (r->rcRef > 0.0) return r->rc / r->rcRef;
    bool settled = r->rc == 0.0 && r->res[3] / (r->resRef[3] + 1e-10) <= r->tol;
    return settled ? 0.0 : 1e10;
}

// The iteration limit came first: the last iterate is used, and the residuals are named.
static void notConverged(FlowmirState* fms, const char* what)
{
    CfdRun* r = fms->cfdRun;
    errorf(fms, WARNING, __FILE__, __LINE__,
           "CFD airflow %sdid not converge in %d iterations: continuity %.3le, U %.3le, V %.3le, W %.3le, energy %.3le",
           what, r->iter, ratio(r), r->res[0] / (r->resRef[0] + 1e-10), r->res[1] / (r->resRef[1] + 1e-10),
           r->res[2] / (r->resRef[2] + 1e-10), r->res[3] / (r->resRef[3] + 1e-10));
}

static void steady(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    cfd_say(fms, "Start steady airflow calculation...\n");
    if (r->restartPass) {
        char path[RESFILE_PATH];
        cfd_path(r, ".var", path, sizeof path);
        if (!cfd_var_read(fms, path, 0)) error(fms, FATAL, __FILE__, __LINE__, "Unable to open restart file (var)", "");
        r->restartPass = 0;
        cfd_viscosity(fms);
        return;
    }
    r->iter = 0;
    memcpy(r->ftsNow, r->fts, sizeof r->ftsNow);
    for (int n = 1;; n++) {
        if (r->ftsMode != 0 && n == r->ftsSwitch) memcpy(r->ftsNow, r->fts2, sizeof r->ftsNow);
        if (r->ftsMode == 2 && n == 2 * r->ftsSwitch)
            for (int e = 0; e < 4; e++)
                r->ftsNow[e] *= 10.0;
        outerIteration(fms);
        if (r->printInterval > 0 && n % r->printInterval == 0) residualLine(fms);
        if (!(n < r->itmax && ratio(r) > r->tol)) break;
    }
    r->flowSolutions++;
    if (ratio(r) > r->tol) notConverged(fms, "");
}

static void unsteady(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    cfd_say(fms, "Start unsteady airflow calculation...\n");
    memcpy(r->ftsNow, r->fts, sizeof r->ftsNow);
    if (r->flowSolutions > 0 && r->dt > 0)
        for (int e = 0; e < 7; e++)
            r->ftsNow[e] = r->dt;
    cfd_say(fms, "CFD simulation time=%f\n", r->time);
    r->iter = 0;
    r->rc = 0.0;
    memset(r->res, 0, sizeof r->res);
    do
        outerIteration(fms);
    while (r->iter < r->itmax && ratio(r) > r->tol);
    r->flowSolutions++;
    residualLine(fms);
    if (ratio(r) > r->tol) notConverged(fms, "step ");
}

static void contaminants(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    if (r->nc == 0) error(fms, FATAL, __FILE__, __LINE__, "No contaminants defined", "");
    if (r->cfdSteady)
        cfd_say(fms, "Start steady contaminant simulation\n");
    else
        cfd_say(fms, "Start unsteady contaminant simulation at time %f\n", r->time);
    CfdIdx g = cfd_idx(r);
    CfdBox box = {{2, 2, 2}, {r->ni + 1, r->nj + 1, r->nk + 1}};
    double* prev = cfd_flat(r->STORE);
    double alpha = r->relax[7];
    for (int m = 1; m <= r->nc; m++) {
        cfd_say(fms, "Calculate NO. %d contaminant\n", m);
        double* C = cfd_flat(r->C[m]);
        double R = 0.0;
        int n = 0;
        cfd_wall_values(fms);
        do {
            n++;
            memcpy(prev, C, sizeof(double) * (size_t)g.points);
            cfd_ctm_assemble(fms, m);
            cfd_sweep(fms, C, box, 1);
            if (r->cfdSteady)
                for (long p = 0; p < g.points; p++)
                    C[p] = alpha * C[p] + (1.0 - alpha) * prev[p];
            cfd_wall_values(fms);
            R = cfd_ctm_residual(fms, m);
            if (r->ctmSolutions == 0 && n <= 5 && R > r->ctmRef[m]) r->ctmRef[m] = R;
            if (r->printInterval > 0 && n % r->printInterval == 0)
                cfd_say(fms, " I=%d, R=%lf, C=%-2.1le\n", n, R / (r->ctmRef[m] + 1e-10),
                        r->C[m][r->mon[0]][r->mon[1]][r->mon[2]]);
        } while (R > r->ctmRef[m] * r->ctmCnvg && n <= r->ctmItmax && (n <= 5 || r->ctmRef[m] > 1e-10));
    }
    cfd_centre_velocities(fms);
    cfd_opening_ctm(fms);
    cfd_ret_ctm(fms);
    r->ctmSolutions++;
}

int flow(FlowmirState* fms, int coupled)
{
    CfdRun* r = cfd_run(fms);
    bool first = r->calls == 0;
    if (first) r->clock0 = clock();
    input(fms, coupled);
    if (!r->laminar && r->turbModel == 1)
        error(fms, FATAL, __FILE__, __LINE__,
              "CFD turbulence model 1 (two-equation k-epsilon) is not available: use the zero-equation model", "");
    if (first) {
        cfd_init_fields(fms);
        if (fms->cfdMultigrid) cfd_mg_alloc(fms);
    }
    if (coupled) incfd(fms);
    r->time = fms->stepEndTime;
    if (first && r->restart && !r->restartPass) {
        char path[RESFILE_PATH];
        cfd_path(r, ".var", path, sizeof path);
        bool intoOld = !r->cfdSteady;
        if (!cfd_var_read(fms, path, intoOld) && r->cfdSteady)
            errorf(fms, WARNING, __FILE__, __LINE__,
                   "No CFD restart (var) file found: %s; the solution starts from the initial fields", path);
        cfd_viscosity(fms);
    }
    if (r->runFlow) {
        if (r->cfdSteady)
            steady(fms);
        else
            unsteady(fms);
        cfd_centre_velocities(fms);
    }
    // The case was read again: the openings' results come from the fields.
    cfd_opening_results(fms);
    if (r->runCtm && r->nc > 0) contaminants(fms);
    if (r->runFlow && r->cfdSteady) cfd_dat_write(fms, r->time);
    cfd_ret_write(fms);
    if (coupled) outcfd(fms);
    r->solved++;
    cfd_say(fms, "EDDYS simulation completed\n");
    return 0;
}

void storeflow(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    CfdIdx g = cfd_idx(r);
    memcpy(cfd_flat(r->UOLD), cfd_flat(r->U), sizeof(double) * (size_t)g.points);
    memcpy(cfd_flat(r->VOLD), cfd_flat(r->V), sizeof(double) * (size_t)g.points);
    memcpy(cfd_flat(r->WOLD), cfd_flat(r->W), sizeof(double) * (size_t)g.points);
    memcpy(cfd_flat(r->TOLD), cfd_flat(r->T), sizeof(double) * (size_t)g.points);
    memcpy(cfd_flat(r->POLD), cfd_flat(r->P), sizeof(double) * (size_t)g.points);
    cfd_mon_flow(fms, (int)r->time);
    if (!r->cfdSteady && r->outInterval > 0 && r->solved % r->outInterval == 0) cfd_dat_write(fms, (int)r->time);
    if (!fms->cfdRestart && (r->cfdSteady || r->time >= r->tend)) cfd_var_write(fms);
}

void storectm(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    CfdIdx g = cfd_idx(r);
    for (int m = 1; m <= r->nc; m++)
        memcpy(cfd_flat(r->COLD[m]), cfd_flat(r->C[m]), sizeof(double) * (size_t)g.points);
    cfd_mon_ctm(fms, (int)r->time);
}

double avePHI(FlowmirState* fms, double*** field, const CfdRange& q)
{
    CfdRun* r = fms->cfdRun;
    double sum = 0.0, vol = 0.0;
    for (int i = q.lo[0]; i <= q.hi[0]; i++)
        for (int j = q.lo[1]; j <= q.hi[1]; j++)
            for (int k = q.lo[2]; k <= q.hi[2]; k++) {
                sum += field[i][j][k] * r->VOL[i][j][k];
                vol += r->VOL[i][j][k];
            }
    return vol > 0.0 ? sum / vol : 0.0;
}
