// Occupants during a run: the walk over the segments of a day that a step covers, the zone
// occupancy, and the exposures. Nothing here allocates: the walks resume from remembered
// cursors and write into arrays made when the project was read.
#include <algorithm>

#include "controls/occupancy.h"
#include "controls/valfile.h"
#include "network/airnet.h"
#include "network/sim_values.h"
#include "support/error.h"

// What a carried source without a schedule or value-file column is scaled by.
static float kUnit = 1.0f;

void exposure_setup(FlowmirState* fms, AirNode** zoneNode)
{
    for (int i = 1; i <= fms->nosh; i++) {
        OccSchedule* os = fms->OshLst ? fms->OshLst[i] : nullptr;
        if (!os) continue;
        for (int j = 0; j < os->npts; j++) {
            int z = os->zoneNr[j];
            os->zone[j] = z == OCC_AMBIENT ? fms->ambt : z >= 1 && z <= fms->nzone ? zoneNode[z] : nullptr;
        }
    }
    for (OccSource* s = fms->occSources; s; s = s->next) {
        float* none = s->wshNr > 0 && fms->WshLst && fms->WshLst[s->wshNr] ? &fms->WshLst[s->wshNr]->value : &kUnit;
        // The reader counted the schedule's use already.
        s->sched = sim_value_pointer(fms, 0, s->valueKind, s->valueName, 0, none);
    }
}

int occSources_useValueFile(const FlowmirState* fms, int kind)
{
    for (const OccSource* s = fms->occSources; s; s = s->next)
        if (s->valueKind == kind) return 1;
    return 0;
}

int occ_loc(int* cursor, int* t, int tEnd, const int* times, int npts)
{
    int last = npts - 2;  // segments 0..npts-2 lie between the points
    int s = *t;
    int i = std::clamp(*cursor, 0, std::max(last, 0));
    if (s <= 0) {
        i = 0;
    } else {
        while (i > 0 && times[i] > s) i--;
        while (i < last && times[i + 1] <= s) i++;
    }
    *cursor = i;
    int e = std::min(times[i + 1], tEnd);
    // Past the last point the day is over: the rest of the step stays in the last segment.
    if (e <= s) e = tEnd;
    *t = e;
    return e - s;
}

void setZoneOcc(FlowmirState* fms, int t, int k)
{
    for (AirNode* n = fms->nodeList; n; n = n->next) n->occ = 0.0f;
    int dt = fms->time_step;
    if (t <= 0) t = dt;
    if (k < 0 || k >= SCHED_DAY_TYPES || dt <= 0) return;
    float rdt = 1.0f / (float)dt;
    for (Exposure* ex = fms->exposures; ex; ex = ex->next) {
        OccSchedule* os = ex->occSched[k];
        if (!os || os->npts < 2) continue;
        for (int s = t - dt; s < t;) {
            int dur = occ_loc(&os->cursor, &s, t, os->time, os->npts);
            AirNode* z = os->zone[os->cursor];
            if (z && z != fms->ambt) z->occ += (float)dur * rdt * ex->mult;
        }
    }
}

// The mass fractions a node had at the start of the step.
static const double* startFractions(FlowmirState* fms, const AirNode* n)
{
    if (fms->MfZ && fms->MfZi && n->Mf >= fms->MfZ && n->Mf < fms->MfZ + fms->nMfZ)
        return fms->MfZi + (n->Mf - fms->MfZ);
    if (fms->MfJ && fms->MfJi && n->Mf >= fms->MfJ && n->Mf < fms->MfJ + fms->nMfJ)
        return fms->MfJi + (n->Mf - fms->MfJ);
    return n->Mf;
}

void exposure(FlowmirState* fms, Exposure* ex)
{
    int nctm = fms->nctm;
    for (int j = 0; j < nctm; j++) ex->expos[j] = 0.0f;
    ex->present = 0.0;
    int k = fms->dayType - 1;
    OccSchedule* os = k >= 0 && k < SCHED_DAY_TYPES ? ex->occSched[k] : nullptr;
    int tEnd = fms->stepEndTime, dt = fms->time_step;
    if (!os || os->npts < 2 || dt <= 0) return;
    int t0 = tEnd - dt;
    // The presence-weighted mean over the step: a move between two zones at the same
    // concentration breathes that concentration, not twice it.
    for (int s = t0; s < tEnd;) {
        int from = s;
        int dur = occ_loc(&ex->cursor, &s, tEnd, os->time, os->npts);
        const AirNode* z = os->zone[ex->cursor];
        if (!z || !z->Mf || dur <= 0) continue;
        const double* c0 = startFractions(fms, z);
        double g = 0.5 * ((from - t0) + (s - t0)) / dt;  // the segment's mid-point in the step
        for (int j = 0; j < nctm; j++) ex->expos[j] += (float)(dur * (c0[j] + (z->Mf[j] - c0[j]) * g));
        ex->present += dur;
    }
    if (ex->present <= 0.0) return;
    for (int j = 0; j < nctm; j++) ex->expos[j] = (float)(ex->expos[j] / ex->present);
}

void exposures_step(FlowmirState* fms)
{
    if (fms->nctm <= 0) return;
    for (Exposure* ex = fms->exposures; ex; ex = ex->next) exposure(fms, ex);
}
