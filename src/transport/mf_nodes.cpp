// Air-node quantities that follow the species: air masses, gas constants and heat capacities
// from the non-trace species, the normalisation of their sums, and the exchange of values
// between the nodes and a system's vectors.
#include <cmath>

#include "network/airnet.h"
#include "support/error.h"
#include "support/log.h"
#include "transport/cse.h"
#include "transport/mfsystem.h"
#include "transport/species.h"

void findAirNodeConcBases(FlowmirState* fms)
{
    for (AirNode* n = fms->nodeList; n; n = n->next)
        if (n->flags & NF_VOLUME) n->M = (fms->Pambt + n->P) * n->V / (n->T * n->R);
}

void findAirNodeRs_nonTr(FlowmirState* fms)
{
    int nn = fms->nNonTrace;
    if (nn <= 0) return;
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (!n->Mf) continue;
        double R = 0.0;
        for (int j = 0; j < nn; j++) R += fms->Rs[j] * n->Mf[j];
        n->R = R;
    }
}

void findAirNodeCps_nonTr(FlowmirState* fms)
{
    int nn = fms->nNonTrace;
    if (nn <= 0) return;
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (!n->Mf) continue;
        double cp = 0.0;
        for (int j = 0; j < nn; j++) cp += fms->CpS[j] * n->Mf[j];
        n->cp = (float)cp;
    }
}

static double nonTraceSum(const FlowmirState* fms, const AirNode* n)
{
    double s = 0.0;
    for (int j = 0; j < fms->nNonTrace; j++) s += n->Mf[j];
    return s;
}

void normalizeAirNodeMfSums_nonTr(FlowmirState* fms)
{
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (!n->Mf) continue;
        double s = nonTraceSum(fms, n);
        if (s > 0.0)
            for (int j = 0; j < fms->nNonTrace; j++) n->Mf[j] /= s;
    }
}

static char nodeKind(const AirNode* n)
{
    return n->styp == NODE_ZONE ? 'z' : n->styp == NODE_JCT ? 'j' : 't';
}

void normalizeAirNodeMfSums_nonTr_check(FlowmirState* fms)
{
    if (fms->nNonTrace <= 0) return;
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (!n->Mf) continue;
        double s = nonTraceSum(fms, n);
        if (fabs(1.0 - s) <= 1e-6) continue;
        if (fabs(1.0 - s) > 0.02)
            LOG(fms, "Adjusting node %d%c mass fractions because sum(Mf) = %.6f\n", n->nr, nodeKind(n), s);
        if (s < 0.9) error(fms, FATAL, __FILE__, __LINE__, "Unreasonable initial mass fractions", "");
        for (int j = 0; j < fms->nNonTrace; j++) n->Mf[j] /= s;
    }
}

void makeAirNodeMfSumsUnity_nonTr(FlowmirState* fms)
{
    if (fms->nNonTrace <= 0) return;
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (!n->Mf) continue;
        double s = 0.0;
        for (int j = 1; j < fms->nNonTrace; j++) s += n->Mf[j];
        n->Mf[0] = 1.0 - s;
    }
}

void getNodeConcBases(FlowmirState* fms, MfSystem* sys)
{
    for (AirNode* n = fms->nodeList; n; n = n->next)
        for (int j = sys->first; j < sys->end; j++) sys->M[n->mfEqn[j]] = n->M;
    for (CseSink* s = sys->bls; s; s = s->next) sys->M[s->eqnSink] = s->capacity;
    for (CseSink* s = sys->dvr; s; s = s->next)
        sys->M[s->eqnSink] = (double)static_cast<const CseDvr*>(s->element->data)->A * s->mult;
}

void getNodeConcs(FlowmirState* fms, MfSystem* sys)
{
    for (AirNode* n = fms->nodeList; n; n = n->next)
        for (int j = sys->first; j < sys->end; j++) sys->x[n->mfEqn[j]] = n->Mf[j];
    for (CseSink* lists[2] = {sys->bls, sys->dvr}; CseSink* head : lists)
        for (CseSink* s = head; s; s = s->next) sys->x[s->eqnSink] = s->Cs;
}

// In the non-trace group the first species is what the others leave, so that the sum is 1.
void setNodeConcs(FlowmirState* fms, MfSystem* sys)
{
    int first = sys->first;
    bool unity = sys->nonTrace && first == 0 && fms->nNonTrace > 0;
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        for (int j = unity ? 1 : first; j < sys->end; j++) n->Mf[j] = sys->x[n->mfEqn[j]];
        if (unity) {
            double s = 0.0;
            for (int j = 1; j < fms->nNonTrace; j++) s += n->Mf[j];
            n->Mf[0] = 1.0 - s;
        }
    }
    for (CseSink* lists[2] = {sys->bls, sys->dvr}; CseSink* head : lists)
        for (CseSink* s = head; s; s = s->next) s->Cs = sys->x[s->eqnSink];
}

void noteMaxAirNodeConcs(FlowmirState* fms)
{
    if (!fms->Mfmax) return;
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        float* row = fms->Mfmax[n->nr];
        for (int j = 0; j < fms->nctm; j++) {
            float v = (float)n->Mf[j];
            if (v > row[j]) row[j] = v;
        }
    }
}
