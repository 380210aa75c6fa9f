// Duct sequencing for the short-time-step method: the duct segments relinked so that every
// junction has received all of its duct inflows before its mixed state is passed on, the cut of
// a circulation at its weakest link, the report of a network that cannot be ordered, and the
// air temperature carried through the ordered network.
#include <cmath>

#include "airflow/afe.h"
#include "airflow/afe_read.h"
#include "network/airnet.h"
#include "support/error.h"
#include "support/log.h"
#include "support/timeconv.h"
#include "transport/species.h"
#include "transport/sts.h"

StsJunction* sts_upstream(const StsDuct* d)
{
    return d->F > 0.0 ? d->jctN : d->F < 0.0 ? d->jctM : nullptr;
}

StsJunction* sts_downstream(const StsDuct* d)
{
    return d->F > 0.0 ? d->jctM : d->F < 0.0 ? d->jctN : nullptr;
}

static char kindLetter(const StsJunction* j)
{
    return j->kind ? 'R' : 'J';
}

static bool fanElement(const Afe* e)
{
    return e && (e->type == AFE_DCT_FAN || e->type == AFE_DCT_CMF || e->type == AFE_DCT_CVF);
}

// The pending record with the smallest share of its downstream junction's inflow, below 1;
// with lastOnly only records that are the last inflow their junction waits for.
static StsDuct* weakest(StsDuct* pending, bool lastOnly, double* ratio)
{
    StsDuct* best = nullptr;
    double bestRatio = 1.0;
    for (StsDuct* d = pending; d; d = d->next) {
        const StsJunction* dn = sts_downstream(d);
        if (!dn || dn->inflow == 0.0) continue;
        if (lastOnly && dn->nLeft > 1) continue;
        double r = fabs(d->F) / dn->inflow;
        if (r < bestRatio) {
            bestRatio = r;
            best = d;
        }
    }
    *ratio = bestRatio;
    return best;
}

// Takes the weakest link out of the pending list; none when no segment qualifies. The cut
// segment's flow is already in its junction's inflow: it is not counted again.
static StsDuct* cutWeakestLink(FlowmirState* fms, StsDuct** pending)
{
    double ratio = 1.0;
    StsDuct* cut = weakest(*pending, true, &ratio);
    if (!cut) cut = weakest(*pending, false, &ratio);
    if (!cut) return nullptr;
    for (StsDuct** p = pending; *p; p = &(*p)->next)
        if (*p == cut) {
            *p = cut->next;
            break;
        }
    char time[16];
    if (!timestr(fms, fms->stepEndTime, time)) time[0] = '\0';
    LOG(fms, "%s Weakest Link: %d, ratio %.5f\n", time, cut->nr, ratio);
    return cut;
}

static void reportFailure(FlowmirState* fms, const StsDuct* pending)
{
    char time[16];
    if (!timestr(fms, fms->stepEndTime, time)) time[0] = '\0';
    LOG(fms, "\n*** Duct sequencing failed at %s\n", time);
    LOG(fms, "Still to be sequenced:\n");
    LOG(fms, "  Duct   From    To   Net  Flow [kg/s]  F-elt\n");
    for (const StsDuct* d = pending; d; d = d->next) {
        const AirLink* l = d->link;
        LOG(fms, " %5d %5d%c", d->nr, d->jctN->nr, kindLetter(d->jctN));
        if (l->nodeN->sumF <= l->nodeN->Fmin) LOG(fms, " **");
        LOG(fms, " %5d%c", d->jctM->nr, kindLetter(d->jctM));
        if (l->nodeM->sumF <= l->nodeM->Fmin) LOG(fms, " **");
        const Afe* e = l->elem;
        int code = e && e->type >= 0 && e->type <= AFE_NCODES ? e->type : AFE_NCODES;
        LOG(fms, "  %3d %12.3e  %s", d->net, d->F, afe_keywords[code]);
        if (fanElement(e)) LOG(fms, " ***");
        LOG(fms, "\n");
    }
    LOG(fms, "Do the ducts form a loop with fans?\n");
    logFlush(fms);
    error(fms, FATAL, __FILE__, __LINE__, "Duct sequencing failed, see XLog file", "");
}

StsDuct* LinkSeq(FlowmirState* fms, StsDuct* ducts)
{
    for (StsJunction* j = fms->sts ? fms->sts->junctions : nullptr; j; j = j->next)
        j->nIn = 0;
    for (StsDuct* d = ducts; d; d = d->next) {
        if (d->F == 0.0) continue;
        StsJunction* up = sts_upstream(d);
        StsJunction* dn = sts_downstream(d);
        dn->nIn++;
        dn->inflow += fabs(d->F);
        up->outflow += fabs(d->F);
    }
    for (StsJunction* j = fms->sts ? fms->sts->junctions : nullptr; j; j = j->next)
        j->nLeft = j->nIn;

    StsDuct* ordered = nullptr;
    StsDuct** tail = &ordered;
    auto place = [&](StsDuct* d) {
        *tail = d;
        tail = &d->next;
    };
    StsDuct* pending = ducts;
    while (pending) {
        StsDuct* kept = nullptr;
        int moved = 0;
        StsDuct* next = nullptr;
        for (StsDuct* d = pending; d; d = next) {
            next = d->next;
            if (d->F == 0.0) {
                place(d);
                moved++;
            } else if (sts_upstream(d)->nLeft == 0) {
                place(d);
                sts_downstream(d)->nLeft--;
                moved++;
            } else {
                // kept in front of those kept before: each pass reverses the pending order
                d->next = kept;
                kept = d;
            }
        }
        pending = kept;
        if (moved || !pending) continue;
        StsDuct* cut = cutWeakestLink(fms, &pending);
        if (!cut) reportFailure(fms, pending);
        place(cut);
        sts_downstream(cut)->nLeft--;
    }
    *tail = nullptr;
    return ordered;
}

// --- heat --------------------------------------------------------------------------------------

static void mixHeat(FlowmirState* fms, StsJunction* j)
{
    AirNode* n = j->node;
    if (n->tctl) return;
    double dt = fms->dt;
    if (n->M > 0.0)
        n->T = (n->cp * n->M * n->T + dt * j->heatTIn) / ((dt * j->inflow + n->M) * n->cp);
    else if (j->inflow > 0.0 && j->heatIn > 0.0)
        n->T = j->heatTIn / j->heatIn;
}

void LinkTSim(FlowmirState* fms, StsDuct* ducts)
{
    StsRun* s = fms->sts;
    if (!s) return;
    if (fms->nNonTrace > 0)
        for (StsJunction* j = s->junctions; j; j = j->next) {
            AirNode* n = j->node;
            if (!n->Mf) continue;
            double cp = 0.0;
            for (int k = 0; k < fms->nNonTrace; k++)
                cp += fms->CpS[k] * n->Mf[k];
            n->cp = (float)cp;
        }
    for (StsJunction* j = s->junctions; j; j = j->next) {
        j->nLeft = j->nIn;
        if (j->nIn == 0) mixHeat(fms, j);
    }
    for (StsDuct* d = ducts; d; d = d->next) {
        if (d->F == 0.0) continue;
        const AirNode* u = sts_upstream(d)->node;
        StsJunction* dn = sts_downstream(d);
        double w = fabs(d->F) * u->cp;
        dn->heatIn += w;
        dn->heatTIn += w * u->T;
        if (--dn->nLeft == 0) mixHeat(fms, dn);
    }
}
