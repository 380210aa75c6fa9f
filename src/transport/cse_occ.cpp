// Sources the occupants carry: each emits, for the share of the step its occupant spends in
// a zone, into that zone, so the emission moves with the occupant.
#include "controls/occupancy.h"
#include "network/airnet.h"
#include "transport/cse.h"
#include "transport/mfsystem.h"
#include "transport/species.h"

void findPolMassRates_occ(FlowmirState* fms, MfSystem* sys)
{
    int t = fms->stepEndTime;
    // The steady equations have no step: the occupant emits where it is at t.
    int span = fms->rdt > 0.0f && fms->time_step > 0 ? fms->time_step : 1;
    int k = fms->dayType - 1;
    for (OccSource* src = fms->occSources; src; src = src->next) {
        int j = src->species;
        if (j < sys->first || j >= sys->end) continue;
        const Exposure* ex = src->owner;
        src->G = (double)*src->sched * src->rate * ex->mult;
        src->shareIn = 0.0;
        const OccSchedule* os = k >= 0 && k < SCHED_DAY_TYPES ? ex->occSched[k] : nullptr;
        if (!os || os->npts < 2) continue;
        for (int s = t - span; s < t;) {
            int dur = occ_loc(&src->cursor, &s, t, os->time, os->npts);
            AirNode* z = os->zone[src->cursor];
            if (!z || z == fms->ambt || !z->mfEqn) continue;
            double g = dur * src->G / span;
            sys->e[z->mfEqn[j]] += g;
            if (sys->nonTrace && fms->ctm[j].nonTrace) z->src += g;
            if (z->flags & NF_MASSFRAC) src->shareIn += dur;
        }
    }
}

void sumOccSourceMass(FlowmirState* fms)
{
    for (OccSource* src = fms->occSources; src; src = src->next) src->genTotal += src->shareIn * src->G;
}
