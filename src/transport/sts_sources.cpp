// Source and sink terms of the short-time-step method, taken explicitly at the start-of-step
// state: each enters the accumulators of the zone or of the cells it covers, and the sinks'
// own concentrations advance with the flux they exchange.
#include "controls/occupancy.h"
#include "network/airnet.h"
#include "project/components.h"
#include "transport/cse.h"
#include "transport/species.h"
#include "transport/sts.h"

static int spanCount(const StsSpan& sp)
{
    return sp.first ? sp.last->k - sp.first->k + 1 : 0;
}

// Adds rate(Mf) of species j into the zone or each covered cell by its share; returns the sum.
template <class F> static double addRate(StsRun* s, const AirNode* z, const StsSpan& sp, int j, F rate)
{
    int n = spanCount(sp);
    if (n == 0) {
        double g = rate(s->oldOf[z->nr][j]);
        s->acc[z->nr].massIn[j] += g;
        return g;
    }
    double frac = 1.0 / n, sum = 0.0;
    for (CdCell* c = sp.first; c <= sp.last; c++) {
        double g = rate(c->Mfi[j]) * frac;
        c->acc.massIn[j] += g;
        sum += g;
    }
    return sum;
}

static bool solved(const AirNode* z)
{
    return z && (z->flags & NF_MASSFRAC) && z->Mf;
}

static void sinks(FlowmirState* fms, StsRun* s, CseSink* list, const StsSpan* spans, bool bls)
{
    double dt = fms->dt;
    int k = 0;
    for (CseSink* q = list; q; q = q->next) {
        const StsSpan& sp = spans[++k];
        if (bls)
            bls_coefficients(fms, q);
        else
            dvr_coefficients(fms, q);
        AirNode* z = q->zoneNode;
        if (!solved(z)) continue;
        int j = q->species;
        double a = q->a, b = q->b, Cs = q->Cs;
        double mf = s->oldOf[z->nr][j];
        q->released += dt * b * Cs;
        q->takenUp += dt * a * mf;
        double flux = addRate(s, z, sp, j, [&](double c) { return b * Cs - a * c; });
        if (fms->ctm[j].nonTrace) z->src += flux;
        double capacity =
            bls ? q->capacity : (double)static_cast<const CseDvr*>(q->element->data)->A * q->mult;
        q->Cs -= dt * flux / capacity;
    }
}

// The occupants' sources go where each occupant is during the step, by its share of the step.
static void occupants(FlowmirState* fms, StsRun* s, OccSource* list)
{
    int t = fms->stepEndTime;
    int span = fms->time_step > 0 ? fms->time_step : 1;
    int k = fms->dayType - 1;
    for (OccSource* src = list; src; src = src->next) {
        int j = src->species;
        const Exposure* ex = src->owner;
        src->G = (double)*src->sched * src->rate * ex->mult;
        src->shareIn = 0.0;
        const OccSchedule* os = k >= 0 && k < SCHED_DAY_TYPES ? ex->occSched[k] : nullptr;
        if (!os || os->npts < 2) continue;
        for (int st = t - span; st < t;) {
            int dur = occ_loc(&src->cursor, &st, t, os->time, os->npts);
            AirNode* z = os->zone[src->cursor];
            if (!solved(z)) continue;
            double g = dur * src->G / span;
            if (CdZone* cz = s->cdzOf[z->nr]) {
                double elev = z->level ? z->level->elevation : 0.0;
                double p[3] = {os->x[src->cursor], os->y[src->cursor], os->relHt[src->cursor] + elev};
                sts_cell_of(fms, cz, p, "OccSched", os->nr)->acc.massIn[j] += g;
            } else {
                s->acc[z->nr].massIn[j] += g;
            }
            if (fms->ctm[j].nonTrace) z->src += g;
            src->shareIn += dur;
        }
        src->genTotal += src->shareIn * src->G;
    }
}

void findPolMassRates_cse_sts(FlowmirState* fms, CseInstance* instances, CseSink* blsSinks, CseSink* dvrSinks,
                              OccSource* occ)
{
    StsRun* s = fms->sts;
    double dt = fms->dt;
    if (fms->nNonTrace > 0)
        for (AirNode* n = fms->nodeList; n; n = n->next)
            n->src = 0.0;
    int k = 0;
    for (CseInstance* c = instances; c; c = c->next) {
        const StsSpan& sp = s->cssSpan[++k];
        c->element->model(fms, c);
        AirNode* z = c->zoneNode;
        int j = c->element->species;
        double G = c->G, R = c->R;
        c->genTotal += dt * G;
        if (!solved(z)) continue;
        c->remTotal += dt * R * s->oldOf[z->nr][j];
        double net = addRate(s, z, sp, j, [&](double mf) { return G - R * mf; });
        if (fms->ctm[j].nonTrace) z->src += net;
    }
    sinks(fms, s, blsSinks, s->blsSpan, true);
    sinks(fms, s, dvrSinks, s->dvrSpan, false);
    occupants(fms, s, occ);
}
