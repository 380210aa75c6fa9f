// The end of a time step: which results files get a record, in a fixed order.
#include "results/results_step.h"

#include "engine/simloop.h"
#include "results/exposure_file.h"
#include "results/simfile.h"
#include "results/sqlite_out.h"
#include "results/srf_file.h"
#include "results/sts_files.h"
#include "results/summary_files.h"

void writeResults_stepEnd(FlowmirState* fms, int time)
{
    // Listing times: the records that are written every listStep seconds.
    if (fms->listStep > 0 && time % fms->listStep == 0) {
        writeSim_stepTime(fms, time);
        writeSql_stepTime(fms);
        writeSTS_ResultFiles(fms, time);
        if (fms->mfsim == 2 || fms->mfsim == 3) writeSrf_stepTime(fms, time);
    }

    extremesCalc(fms);

    // Every step: air changes, contaminant statistics, age of air, exposures.
    summaries_stepEnd(fms, time);
    if (fms->nExposures > 0) writeExp_stepEnd(fms, time);
}
