// Loading bookkeeping of the filters: the mass each stage captures from the flows through its
// link, its relative loading, and the mass that entered and left each filter.
#include <cmath>

#include "network/airnet.h"
#include "support/heap.h"
#include "transport/filter.h"

// The links that carry a filter, once: the network does not change during a run.
static void collectPaths(FlowmirState* fms)
{
    int n = 0;
    for (const AirLink* l = fms->linkList; l; l = l->next)
        if (l->filter) n++;
    if (n == 0) return;
    fms->Fpath = alc_vt<AirLink*>(fms, 1, n, "Fpath");
    fms->nFpath = n;
    int i = 0;
    for (AirLink* l = fms->linkList; l; l = l->next)
        if (l->filter) fms->Fpath[++i] = l;
}

// The mass fractions a flow leaving node N (fromN) or node M carries.
static const double* upstream(const AirLink* l, bool fromN)
{
    if (fromN) return l->srcN ? l->srcN : l->nodeN ? l->nodeN->Mf : nullptr;
    return l->srcM ? l->srcM : l->nodeM ? l->nodeM->Mf : nullptr;
}

static FilterData* firstStage(FilterData* top, bool forward)
{
    if (!top->nextSub) return top;  // a simple filter is its own single stage
    return forward ? top->nextSub : top->lastSub;
}

static FilterData* nextStage(const FilterData* top, const FilterData* s, bool forward)
{
    if (s == top) return nullptr;
    return forward ? s->nextSub : s->lastSub;
}

// One directional flow of `mass` kg of air through the filter, upstream fractions mf. Each
// stage is challenged by what the stages before it in the flow's direction let through.
static void bookFlow(FlowmirState* fms, FilterData* top, const double* mf, double mass, bool forward)
{
    for (int j = 0; j < fms->nctm; j++) {
        double challenge = mass * mf[j];
        for (FilterData* s = firstStage(top, forward); s; s = nextStage(top, s, forward)) {
            if (s->eff[j] != 0.0f) {
                double m = s->eff[j] * challenge;
                s->loads[j] += m;
                if (s != top) top->loads[j] += m;
                if (s->element) s->relLoad += m * s->element->rmass;
            }
            challenge *= s->penf[j];
        }
        top->Min[j] += mass * mf[j];
        top->Mout[j] += top->penf[j] * mass * mf[j];
    }
}

void sum_filter_compute(FlowmirState* fms, int time_step)
{
    if (fms->nctm <= 0) return;
    if (!fms->Fpath) collectPaths(fms);
    for (int i = 1; i <= fms->nFpath; i++) {
        const AirLink* l = fms->Fpath[i];
        FilterData* top = static_cast<const Filter*>(l->filter)->top;
        if (!top) continue;
        // Both directional flows pass the filter, each from its own side.
        for (int k = 0; k < 2; k++) {
            double q = l->Flow[k];
            if (!(q > 0.0) && !(q < 0.0)) continue;
            const double* mf = upstream(l, q > 0.0);
            if (mf) bookFlow(fms, top, mf, std::fabs(q) * time_step, q > 0.0);
        }
    }
}

void filter_free_paths(FlowmirState* fms)
{
    fre_vt(fms, fms->Fpath, 1, fms->nFpath);
    fms->nFpath = 0;
}
