// The end of a time step: which results files get a record, in a fixed order.
#include "results/results_step.h"

#include "engine/simloop.h"
#include "results/simfile.h"
#include "results/srf_file.h"

void writeResults_stepEnd(FlowmirState* fms, int time)
{
    // Listing times: the records that are written every listStep seconds.
    if (fms->listStep > 0 && time % fms->listStep == 0) {
        writeSim_stepTime(fms, time);
        // results database row
        // short-time-step results record
        if (fms->mfsim == 2 || fms->mfsim == 3) writeSrf_stepTime(fms, time);
    }

    extremesCalc(fms);

    // Every step: air-change results (either air-change switch), contaminant balance (its switch),
    // age of air (either age switch), exposures (when defined).
}
