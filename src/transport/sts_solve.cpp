// One step of the short-time-step method: sources, the step's airflow, the stability limit,
// the flows into zones, the zones, the junction side of terminals and leaks, the duct sweep in
// flow order and the heat carried through the ducts.
#include <cmath>
#include <cstring>

#include "airflow/pressures.h"
#include "controls/occupancy.h"
#include "engine/siminit.h"
#include "network/airnet.h"
#include "results/cex_file.h"
#include "results/envelope_mass.h"
#include "support/error.h"
#include "support/log.h"
#include "transport/cse.h"
#include "transport/filter.h"
#include "transport/mfsystem.h"
#include "transport/species.h"
#include "transport/sts.h"

static void clearAcc(StsAcc* a, int nc)
{
    a->inflow = a->outflow = 0.0;
    for (int j = 0; j < nc; j++)
        a->massIn[j] = 0.0;
}

static void resetStep(FlowmirState* fms, StsRun* s, bool newStep)
{
    int nc = fms->nctm;
    for (StsJunction* j = s->junctions; j; j = j->next) {
        j->inflow = j->outflow = j->heatIn = j->heatTIn = 0.0;
        for (int k = 0; k < nc; k++)
            j->massIn[k] = 0.0;
        j->mixed = 0;
    }
    for (AirNode* n = fms->nodeList; n; n = n->next)
        clearAcc(&s->acc[n->nr], nc);
    for (CdZone* z = s->cdzones; z; z = z->next)
        for (int k = 0; k < z->ncells; k++) {
            CdCell* c = &z->cells[k];
            clearAcc(&c->acc, nc);
            if (newStep) memcpy(c->Mfi, c->Mf, sizeof(double) * nc);
        }
}

// The zone limit of the explicit flows: a zone must not exchange more than twice its air in
// one step. A zone without flow sets no limit.
static void stability(FlowmirState* fms, StsRun* s)
{
    double dt = fms->dt;
    int bad = 0;
    for (int i = 1; i <= s->nZones; i++) {
        const AirNode* n = s->zones[i];
        if (!(n->flags & NF_MASSFRAC) || !(n->sumF > 0.0)) continue;
        double limit = 2.0 * n->M / n->sumF;
        if (limit < fms->stsMinDt) fms->stsMinDt = (float)limit;
        if (dt * n->sumF >= 2.0 * n->M) {
            errorf(fms, WARNING, __FILE__, __LINE__,
                   (n->flags & NF_AHS) ? "AHS zone %d (%.3f m^3) requires a time step < %.2f s for stability"
                                       : "Zone %d (%.3f m^3) requires a time step < %.2f s for stability",
                   n->s_nr, n->V, limit);
            bad++;
        }
    }
    if (bad)
        error(fms, FATAL, __FILE__, __LINE__, "Revise time step (or volume) to permit stable solution", "");
}

// q kg/s from one end to the other: what leaves counts at the start-of-step values.
static void carry(const StsLinkEnd& from, const StsLinkEnd& to, double q, const float* p, int nc)
{
    if (from.acc) from.acc->outflow += q;
    if (!to.acc) return;
    to.acc->inflow += q;
    if (!from.oldMf) return;
    for (int j = 0; j < nc; j++)
        to.acc->massIn[j] += p[j] * from.oldMf[j] * q;
}

// Paths between zones, and the zone side of terminals and leaks: a zone receives a junction's
// air at the junction's start-of-step values.
static void zoneFlows(FlowmirState* fms, StsRun* s, int nc)
{
    for (AirLink* l = fms->linkList; l; l = l->next) {
        if (l->styp == LINK_DUCT) continue;
        const StsLink& r = s->links[l->nr];
        const float* p = nc > 0 ? filter_sim(fms, l) : nullptr;
        for (int d = 0; d < 2; d++) {
            double q = l->Flow[d];
            if (q > 0.0) {
                if (r.jct) {
                    if (r.M.acc) carry(r.N, r.M, q, p, nc);
                } else {
                    carry(r.N, r.M, q, p, nc);
                }
            } else if (q < 0.0) {
                if (r.jct) {
                    if (r.M.acc) r.M.acc->outflow -= q;
                } else {
                    carry(r.M, r.N, -q, p, nc);
                }
            }
        }
    }
}

// First-order reactions of a zone: (I/dt - K) C' = C/dt by elimination with partial pivoting.
static void react(FlowmirState* fms, StsRun* s, AirNode* n)
{
    const Reaction* r = static_cast<const Reaction*>(n->rxn);
    int nc = fms->nctm;
    double rdt = 1.0 / fms->dt;
    double* A = s->rxA;
    double* b = s->rxB;
    for (int i = 0; i < nc * nc; i++)
        A[i] = 0.0;
    for (int i = 0; i < nc; i++) {
        A[i * nc + i] = rdt;
        b[i] = n->Mf[i] * rdt;
    }
    for (int t = 0; t < r->n; t++)
        A[r->prod[t] * nc + r->src[t]] -= r->coef[t];
    for (int k = 0; k < nc; k++) {
        int piv = k;
        for (int i = k + 1; i < nc; i++)
            if (fabs(A[i * nc + k]) > fabs(A[piv * nc + k])) piv = i;
        if (piv != k) {
            for (int c = 0; c < nc; c++)
                std::swap(A[k * nc + c], A[piv * nc + c]);
            std::swap(b[k], b[piv]);
        }
        double d = A[k * nc + k];
        if (fabs(d) < 1.1754944e-38) {
            if (d == 0.0) errorf(fms, FATAL, __FILE__, __LINE__, "Zero on diagonal, row %d; call Orvo", k);
            errorf(fms, ERROR, __FILE__, __LINE__, "Near-zero on diagonal, row %d", k);
        }
        for (int i = k + 1; i < nc; i++) {
            double f = A[i * nc + k] / d;
            if (f == 0.0) continue;
            for (int c = k; c < nc; c++)
                A[i * nc + c] -= f * A[k * nc + c];
            b[i] -= f * b[k];
        }
    }
    for (int i = nc - 1; i >= 0; i--) {
        double v = b[i];
        for (int c = i + 1; c < nc; c++)
            v -= A[i * nc + c] * n->Mf[c];
        n->Mf[i] = v / A[i * nc + i];
    }
}

static void wellMixedZone(FlowmirState* fms, StsRun* s, AirNode* n)
{
    int nc = fms->nctm;
    const StsAcc& a = s->acc[n->nr];
    const double* C0 = s->oldOf[n->nr];
    double dt = fms->dt;
    double M0 = n->M0, M = n->M;
    if (fms->nNonTrace > 0) {
        double in = 0.0;
        for (int j = 0; j < fms->nNonTrace; j++)
            in += a.massIn[j];
        M = M0 + dt * (in - a.outflow);
        n->M = M;
    }
    double den = dt * a.outflow + M;
    if (den == M0) {
        for (int j = 0; j < nc; j++)
            n->Mf[j] = C0[j] + dt * a.massIn[j] / M0;
    } else {
        for (int j = 0; j < nc; j++)
            n->Mf[j] = (dt * a.massIn[j] + M0 * C0[j]) / den;
    }
    if (n->rxn && (n->flags & NF_VOLUME)) react(fms, s, n);
}

// The junction side of terminals and leaks: air from zones enters at the zones' new values.
static void junctionFlows(FlowmirState* fms, StsRun* s, int nc, bool species)
{
    bool heat = fms->stsHeat != 0;
    for (AirLink* l = fms->linkList; l; l = l->next) {
        const StsLink& r = s->links[l->nr];
        if (!r.jct) continue;
        StsJunction* j = r.jct;
        const float* p = species ? filter_get_eff(fms, l) : nullptr;
        for (int d = 0; d < 2; d++) {
            double q = l->Flow[d];
            if (q > 0.0) {
                j->outflow += q;
            } else if (q < 0.0) {
                q = -q;
                j->inflow += q;
                if (species && r.M.newMf)
                    for (int k = 0; k < nc; k++)
                        j->massIn[k] += p[k] * r.M.newMf[k] * q;
                if (heat) {
                    const AirNode* z = l->nodeM;
                    j->heatIn += q * z->cp;
                    j->heatTIn += q * z->cp * z->T;
                }
            }
        }
    }
}

// A junction that has received all of its inflows: without air mass the flow-weighted mean
// of what entered, with air mass the mixed balance; with nothing entering it keeps its value.
static void mixJunction(FlowmirState* fms, StsRun* s, StsJunction* j)
{
    j->mixed = 1;
    AirNode* n = j->node;
    int nc = fms->nctm;
    if (!n->Mf) return;
    double dt = fms->dt;
    if (n->M > 0.0) {
        const double* C0 = s->oldOf[n->nr];
        double M0 = n->M0;
        double M = M0 + dt * (j->inflow - j->outflow);
        double den = dt * j->outflow + M;
        if (!(den > 0.0)) return;
        for (int k = 0; k < nc; k++)
            n->Mf[k] = (dt * j->massIn[k] + M0 * C0[k]) / den;
    } else if (j->inflow > 0.0) {
        for (int k = 0; k < nc; k++)
            n->Mf[k] = j->massIn[k] / j->inflow;
    }
}

static void ductSweep(FlowmirState* fms, StsRun* s, int nc)
{
    for (StsJunction* j = s->junctions; j; j = j->next) {
        j->nLeft = j->nIn;
        if (j->nIn == 0) mixJunction(fms, s, j);
    }
    for (StsDuct* d = s->ducts; d; d = d->next) {
        if (d->F == 0.0) continue;
        StsJunction* up = sts_upstream(d);
        StsJunction* dn = sts_downstream(d);
        // a cut segment carries its upstream junction's values of the previous step
        const double* upMf = up->mixed ? up->node->Mf : s->oldOf[up->node->nr];
        const double* out = upMf;
        if (d->cells) {
            sts_duct_step(fms, d, upMf);
            out = d->cells->outMf;
        }
        const float* p = filter_sim(fms, d->link);
        double q = fabs(d->F);
        for (int k = 0; k < nc; k++)
            dn->massIn[k] += p[k] * out[k] * q;
        if (--dn->nLeft == 0) mixJunction(fms, s, dn);
    }
}

static void checkNegative(FlowmirState* fms)
{
    for (const AirNode* n = fms->nodeList; n; n = n->next) {
        if (!n->Mf) continue;
        for (int j = 0; j < fms->nctm; j++)
            if (n->Mf[j] < 0.0) errorf(fms, FATAL, __FILE__, __LINE__, "Mf < 0, node %d", n->nr);
    }
}

void solve_STS(FlowmirState* fms)
{
    StsRun* s = fms->sts;
    fms->nSolveSTS++;
    int nc = fms->nctm;
    bool species = nc > 0 && fms->mfsim > 0;
    bool newStep = !fms->cosim || fms->advance;
    resetStep(fms, s, newStep);

    if (species) findPolMassRates_cse_sts(fms, fms->css[0], fms->bls[0], fms->dvr[0], fms->occSources);

    if (fms->afsim == 1 && fms->afResolve > 0) {
        calc_sP(fms);
        solveAirflow(fms, fms->afMat);
        if (fms->wpcOption) fms->afResolve = 0;
    }

    stability(fms, s);

    int ncs = species ? nc : 0;
    zoneFlows(fms, s, ncs);
    if (species)
        for (int i = 1; i <= s->nZones; i++) {
            AirNode* n = s->zones[i];
            if (!(n->flags & NF_MASSFRAC) || !n->Mf) continue;
            if (CdZone* z = s->cdzOf[n->nr])
                CDZsim(fms, z);
            else
                wellMixedZone(fms, s, n);
        }
    junctionFlows(fms, s, ncs, species);

    for (StsDuct* d = s->ducts; d; d = d->next)
        d->F = d->link->Flow[0];
    s->ducts = LinkSeq(fms, s->ducts);
    if (species) ductSweep(fms, s, nc);
    if (fms->stsHeat) LinkTSim(fms, s->ducts);

    if (species) checkNegative(fms);
    if (fms->nNonTrace > 0) {
        findAirNodeRs_nonTr(fms);
        if (fms->stsHeat) findAirNodeCps_nonTr(fms);
    }
}

void sts_step_results(FlowmirState* fms)
{
    process_mf_exchange(fms);
}
