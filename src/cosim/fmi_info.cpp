// What a host asks about the run: its counts and its clock.
#include <cstring>

#include "engine/state.h"
#include "flowmir/fmi.h"
#include "transport/species.h"

extern "C" int fmiGetNumZones(FlowmirState* fms) { return fms->nzone; }
extern "C" int fmiGetNumPaths(FlowmirState* fms) { return fms->npath; }
extern "C" int fmiGetNumJunctions(FlowmirState* fms) { return fms->njct; }
extern "C" int fmiGetNumTerminals(FlowmirState* fms) { return fms->cosimLists.nterm; }
extern "C" int fmiGetNumLeaks(FlowmirState* fms) { return fms->cosimLists.nleak; }
extern "C" int fmiGetNumAHS(FlowmirState* fms) { return fms->nahs; }
extern "C" int fmiGetNumCtms(FlowmirState* fms) { return fms->nctm; }
extern "C" int fmiGetNumInputCtrlNodes(FlowmirState* fms) { return fms->cosimLists.ninode; }
extern "C" int fmiGetNumOutputCtrlNodes(FlowmirState* fms) { return fms->cosimLists.nonode; }

extern "C" int fmiGetCurrentDate(FlowmirState* fms) { return fms->dayofy; }
extern "C" int fmiGetCurrentTime(FlowmirState* fms) { return fms->stepEndTime; }
extern "C" int fmiGetSimulationStartDate(FlowmirState* fms) { return fms->date0; }
extern "C" int fmiGetSimulationStartTime(FlowmirState* fms) { return fms->time0; }
extern "C" int fmiGetSimulationEndDate(FlowmirState* fms) { return fms->date1; }
extern "C" int fmiGetSimulationEndTime(FlowmirState* fms) { return fms->time1; }
extern "C" int fmiGetSimulationTimeStep(FlowmirState* fms) { return fms->time_step; }

extern "C" int fmiGetCtmName(FlowmirState* fms, int ctm, char* name)
{
    if (ctm < 0 || ctm >= fms->nctm || !fms->ctm) return 1;
    if (!name) return 2;
    memcpy(name, fms->ctm[ctm].name, SPECIES_NAME_LEN);
    name[SPECIES_NAME_LEN - 1] = '\0';
    return 0;
}
