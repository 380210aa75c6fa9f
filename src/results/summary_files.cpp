// The summary files of a run as a group.
#include "results/summary_files.h"

#include "results/summary_ach.h"
#include "results/summary_age.h"
#include "results/summary_cbw.h"
#include "results/summary_csm.h"

static bool achAsked(const FlowmirState* fms)
{
    return fms->achStepOut || fms->achSumOut;
}

static bool ageAsked(const FlowmirState* fms)
{
    return fms->ageStepOut || fms->ageSumOut;
}

void summaries_open(FlowmirState* fms)
{
    if (achAsked(fms))
        set_uach_open(fms);
    else
        set_uach_close(fms, 1);
    if (fms->cbwSumOut && fms->nctm > 0)
        set_ucbw_open(fms);
    else
        set_ucbw_close(fms, 1);
    if (ageAsked(fms))
        set_uage_open(fms);
    else
        set_uage_close(fms, 1);
}

void summaries_stepEnd(FlowmirState* fms, int time)
{
    if (achAsked(fms)) writeAch_stepEnd(fms, time);
    if (fms->cbwSumOut) writeCbw_stepEnd_compute(fms);
    if (ageAsked(fms)) writeAge_stepEnd(fms, time);
}

void summaries_dayEnd(FlowmirState* fms)
{
    writeAch_dayEnd(fms);
    writeCbw_dayEnd(fms);
    writeAge_dayEnd(fms);
}

void summaries_simEnd(FlowmirState* fms)
{
    if (fms->achSumOut) writeAch_simEnd(fms);
    if (fms->cbwSumOut) writeCbw_simEnd(fms);
    writeAge_simEnd(fms);
}

// A steady run: the step functions run whenever their file is open, so that a summary never
// averages no samples.
void summaries_steady(FlowmirState* fms)
{
    if (achAsked(fms)) writeAch_stepEnd(fms, fms->stepEndTime);
    if (fms->achSumOut) {
        writeAch_dayEnd(fms);
        writeAch_simEnd(fms);
    }
    if (ageAsked(fms)) {
        writeAge_stepEnd(fms, fms->stepEndTime);
        writeAge_dayEnd(fms);
        writeAge_simEnd(fms);
    }
}

void summaries_close(FlowmirState* fms, int remove)
{
    set_uach_close(fms, remove);
    set_ucbw_close(fms, remove);
    set_uage_close(fms, remove);
}
