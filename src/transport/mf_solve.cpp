// The implicit (theta) solution of a species group over one step, its initial state and the
// steady-state solution.
#include "network/airnet.h"
#include "network/sparse.h"
#include "support/error.h"
#include "support/log.h"
#include "transport/cse.h"
#include "transport/mfsystem.h"
#include "transport/species.h"

static bool variable(const AirNode* n)
{
    return (n->flags & NF_MASSFRAC) != 0;
}

// Row i of A becomes the identity with the value it holds.
static void identityRow(MfSystem* sys, int i)
{
    for (int k = sys->ija[i]; k < sys->ija[i + 1]; k++) sys->A[k] = 0.0;
    sys->A[i] = 1.0;
    sys->b[i] = sys->x[i];
}

// Row i of A becomes the steady balance of K, or the identity when nothing flows through it.
static void steadyRow(MfSystem* sys, int i)
{
    if (sys->K[i] == 0.0) {
        identityRow(sys, i);
        return;
    }
    for (int k = sys->ija[i]; k < sys->ija[i + 1]; k++) sys->A[k] = sys->K[k];
    sys->A[i] = sys->K[i];
    sys->b[i] = -sys->e[i];
}

// The table of the group's node values and the stop for a negative solution.
static void checkNegative(FlowmirState* fms, MfSystem* sys)
{
    bool negative = false;
    for (int i = 1; i <= sys->nvar && !negative; i++) negative = sys->x[i] < 0.0;
    if (!negative) return;
    LOG(fms, " node\\k:");
    for (int j = sys->first; j < sys->end; j++) LOG(fms, " %12s", fms->ctm[j].name);
    LOG(fms, "\n");
    for (const AirNode* n = fms->nodeList; n; n = n->next) {
        LOG(fms, " %4d   ", n->nr);
        for (int j = sys->first; j < sys->end; j++) LOG(fms, " %12.4e", n->Mf[j]);
        LOG(fms, "\n");
    }
    error(fms, FATAL, __FILE__, __LINE__, "Mass fraction(s) < 0", "");
}

static void solveAndStore(FlowmirState* fms, MfSystem* sys)
{
    if (sys->nvar > 0) {
        sasn_prepMat(fms, &sys->solver, sys->A);
        sasn_solve(fms, &sys->solver, sys->b, sys->x);
    } else {
        for (int i = 1; i <= sys->neq; i++) sys->x[i] = sys->b[i];
    }
    setNodeConcs(fms, sys);
    checkNegative(fms, sys);
    if (sys->nonTrace) {
        findAirNodeRs_nonTr(fms);
        findAirNodeConcBases(fms);
    }
}

// The last system of the run takes the news of values replaced from outside.
static void takeOutsideValues(FlowmirState* fms, MfSystem* sys)
{
    if (!fms->mfConcsChanged) return;
    getNodeConcs(fms, sys);
    if (sys == fms->mft || !fms->mft) fms->mfConcsChanged = 0;
}

static void solveStep(FlowmirState* fms, MfSystem* sys, int newStep)
{
    int neq = sys->neq;
    double dt = fms->dt;
    double theta = sys->theta;
    if (newStep) {
        takeOutsideValues(fms, sys);
        if (theta < 1.0) {
            // the flows and sources at the end of the previous step
            sa_mlt_xaab(sys->K, sys->ija, sys->x, sys->b, neq);
            for (int i = 1; i <= neq; i++)
                sys->ic[i] = (1.0 - theta) * dt * (sys->e[i] + sys->b[i]) + sys->M[i] * sys->x[i];
        } else {
            for (int i = 1; i <= neq; i++) sys->ic[i] = sys->M[i] * sys->x[i];
        }
    }
    findPolMassRates(fms, sys);
    getNodeConcBases(fms, sys);
    getNodeConcs(fms, sys);

    double w = theta * dt;
    for (int k = 1; k <= sys->nnz; k++) sys->A[k] = -w * sys->K[k];
    for (int i = 1; i <= neq; i++) {
        sys->A[i] += sys->M[i];
        sys->b[i] = w * sys->e[i] + sys->ic[i];
    }
    for (AirNode* n = fms->nodeList; n; n = n->next)
        for (int j = sys->first; j < sys->end; j++) {
            int i = n->mfEqn[j];
            if (!variable(n))
                identityRow(sys, i);
            else if (sys->M[i] <= 0.0)
                steadyRow(sys, i);
        }
    solveAndStore(fms, sys);
}

void solve_Mfn(FlowmirState* fms, MfSystem* mfn, int newStep)
{
    fms->nSolveMfn++;
    solveStep(fms, mfn, newStep);
}

void solve_Mft(FlowmirState* fms, MfSystem* mft, int newStep)
{
    fms->nSolveMft++;
    solveStep(fms, mft, newStep);
}

void formXportEqns_steadyState(FlowmirState*, MfSystem* sys)
{
    for (int k = 1; k <= sys->nnz; k++) sys->A[k] = sys->K[k];
    for (int i = 1; i <= sys->neq; i++) {
        sys->b[i] = -sys->e[i];
        if (sys->A[i] == 0.0) identityRow(sys, i);
    }
}

void solve_steady(FlowmirState* fms, MfSystem* sys)
{
    findPolMassRates(fms, sys);
    getNodeConcBases(fms, sys);
    getNodeConcs(fms, sys);
    formXportEqns_steadyState(fms, sys);
    solveAndStore(fms, sys);
}

static void initGroup(FlowmirState* fms, MfSystem* sys)
{
    findPolMassRates(fms, sys);
    getNodeConcBases(fms, sys);
    getNodeConcs(fms, sys);
}

void init_Mfn(FlowmirState* fms, MfSystem* mfn)
{
    initGroup(fms, mfn);
    makeAirNodeMfSumsUnity_nonTr(fms);
}

void init_Mft(FlowmirState* fms, MfSystem* mft)
{
    initGroup(fms, mft);
}
