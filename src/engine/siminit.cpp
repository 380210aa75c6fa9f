// Steady-state initialisation: the airflow solution at the start of a run, with an optional
// tolerance ramp that iterates it to convergence.
#include "engine/siminit.h"

#include <cmath>
#include <cstring>

#include "airflow/afsolve.h"
#include "airflow/pressures.h"
#include "boundary/wpc_file.h"
#include "cfd/cpl.h"
#include "engine/run.h"
#include "engine/simloop.h"
#include "network/airnet.h"
#include "support/error.h"
#include "support/log.h"
#include "support/timeconv.h"
#include "transport/mfsystem.h"

int solveAirflow(FlowmirState* fms, AfMat* mat)
{
    switch (mat->method) {
    case 1: return SolveAfstr(fms, mat);
    case 0: return SolveAfsur(fms, mat);
    default: return SolveAfnvn(fms, mat);
    }
}

int timeElapsed(FlowmirState* fms, int day, int time)
{
    if (day == fms->dayofy) return fms->stepEndTime - time;
    int dt = (fms->dayofy - day) * 86400 + fms->stepEndTime - time;
    return day > fms->dayofy ? dt + 31536000 : dt;
}

// Log and, unless a host asked for quiet, the console.
static void progress(FlowmirState* fms, const char* text)
{
    LOG(fms, "%s", text);
    logFlush(fms);
    if (!fms->guiMode && !fms->quiet) {
        fputs(text, stderr);
        fflush(stderr);
    }
}

// Nodes whose temperature or gas constant is 0 would turn every density into a division by
// zero: each is reported, and such a run stops before any result is written.
static void checkNodes(FlowmirState* fms)
{
    int bad = 0;
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (n->T == 0.0) {
            errorf(fms, ERROR, __FILE__, __LINE__, "T = 0 K, node %d", n->nr);
            bad++;
        }
        if (n->R == 0.0) {
            errorf(fms, ERROR, __FILE__, __LINE__, "R = 0, node %d", n->nr);
            bad++;
        }
    }
    if (bad) error(fms, FATAL, __FILE__, __LINE__, "Air nodes without temperature or gas constant cannot be simulated", "");
}

// Every node's density agrees with its pressure to the last digits.
static int densitiesExact(FlowmirState* fms)
{
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        double rrt = n->rho * n->R * n->T;
        if (fabs(rrt - (n->P + fms->Pambt)) > 2.220446049250313e-14 * rrt) return 0;
    }
    return 1;
}

static void steadyAirflow(FlowmirState* fms, AfMat* mat)
{
    fms->dt = fms->rdt = 0.0f;
    int passes = fms->cnvgSS ? fms->afItmax : 1;
    if (fms->cnvgSS) mat->relcnvg = 0.001f;
    int converged = 0, maxIts = 0;
    for (int pass = 1; pass <= passes && !converged; pass++) {
        int its = solveAirflow(fms, mat);
        if (its > maxIts) maxIts = its;
        if (mat->relcnvg <= fms->afRelcnvg) {
            converged = its < 2 || densitiesExact(fms);
        } else {
            mat->relcnvg = mat->relcnvg / 10.0f;
            if (mat->relcnvg < fms->afRelcnvg) mat->relcnvg = fms->afRelcnvg;
        }
        // Steady contaminants: the non-trace species settle with the flows of each pass.
        if (fms->mfsim == 1 && fms->mfn && fms->mfn->nonTrace) {
            solve_steady(fms, fms->mfn);
            findAirNodeRs_nonTr(fms);
        }
        if (!converged && pass < passes && fms->cnvgSS) calc_sP(fms);
    }
    if (fms->cnvgSS) {
        if (!converged)
            error(fms, ERROR, __FILE__, __LINE__, "Calculation of steady-state flows did not converge", "");
        else if (maxIts >= mat->itmax)
            error(fms, NOTE, __FILE__, __LINE__, "Calculation of steady-state flows did converge", "");
    }
    mat->relcnvg = fms->afRelcnvg;
}

// The previous-step copies of the zones' and junctions' mass fractions.
void copyMassFractions(FlowmirState* fms)
{
    if (fms->MfZ && fms->MfZi) memcpy(fms->MfZi, fms->MfZ, sizeof(double) * fms->nMfZ);
    if (fms->MfJ && fms->MfJi) memcpy(fms->MfJi, fms->MfJ, sizeof(double) * fms->nMfJ);
}

// The transport systems' initial state: transient contaminants start from the nodes' values,
// steady ones are solved with the initial flows.
static void initTransport(FlowmirState* fms)
{
    if ((fms->mfsim == 2 || fms->mfsim == 3) && fms->mfn) init_Mfn(fms, fms->mfn);
    if (fms->mft) {
        // A coupled CFD zone: steady concentrations alternate with the CFD's until they agree.
        bool cfd = fms->cpl && fms->mfsim == 1;
        if (cfd) decpl(fms, 9);
        for (;;) {
            int again = cfd ? comctm(fms) : 0;
            init_Mft(fms, fms->mft);
            if (fms->mfsim == 1) solve_steady(fms, fms->mft);
            if (!again) break;
        }
    }
    // The variable-step solver keeps all species in one system: steady ones settle here.
    if (fms->mfsim == 1 && fms->mfsolver >= 2 && fms->mfn && !fms->mfn->nonTrace) solve_steady(fms, fms->mfn);
}

int sim_init(FlowmirState* fms, int steadyOnly)
{
    char date[16], time[16], line[96];
    if (fms->guiMode) DlgStat(fms, fms->dlgWindow, fms->dayofy, fms->stepEndTime, fms->dayCount, fms->stepCount);
    datestr(fms, fms->dayofy, date);
    if (!timestr(fms, fms->stepEndTime, time)) time[0] = '\0';
    progress(fms, "Running steady-state initialization:\n");
    snprintf(line, sizeof line, " DATE: %s   time: %s\n", date, time);
    progress(fms, line);

    AfMat* mat = fms->afMat;
    // A coupled CFD zone: network and CFD in turn until their flows agree.
    do {
        checkNodes(fms);
        if (fms->nNonTrace > 0) {
            normalizeAirNodeMfSums_nonTr(fms);
            findAirNodeRs_nonTr(fms);
            if (fms->mfsolver == 1 && fms->stsHeat) findAirNodeCps_nonTr(fms);
        }
        // The air masses of the whole run start here, before any airflow solution: zones whose
        // pressure is solved still stand at P = 0.
        findAirNodeConcBases(fms);
        copyMassFractions(fms);
        if (fms->wpcUse) WPC_get(fms, fms->dayofy, fms->stepEndTime, 0);
        calc_wP(fms);
        calc_sP(fms);
        init_Af(fms, mat);
        steadyAirflow(fms, mat);
    } while (fms->cpl && cplloop(fms));
    initTransport(fms);

    findPgage(fms);
    fms->dt = (float)fms->time_step;
    fms->rdt = fms->dt > 0.0f ? 1.0f / fms->dt : 0.0f;

    if (fms->afsim == 1 && fms->densZP) findAirNodeConcBases(fms);
    switch (fms->afsim) {
    case 2: progress(fms, "End Duct Balance Initialization\n"); break;
    case 3: progress(fms, "End Airflow Analysis Calculation\n"); break;
    case 4: progress(fms, "End Pressurization Calculation\n"); break;
    default: progress(fms, "End Steady-state Initialization\n"); break;
    }

    if (steadyOnly) {
        if (fms->cpl) setCmon(fms, 1);
        steadyResults(fms);
    }
    return 0;
}
