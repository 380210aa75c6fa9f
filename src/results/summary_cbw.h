// The contaminant statistics file ".cbw": daily and whole-run statistics of the mass fraction of
// every species in every zone, the ambient counted as zone 0.
#ifndef FLOWMIR_RESULTS_SUMMARY_CBW_H
#define FLOWMIR_RESULTS_SUMMARY_CBW_H

#include "engine/state.h"

void set_ucbw_open(FlowmirState* fms);
// Releases the tables and forgets the open file; with remove, the project's ".cbw" file is
// deleted when the run completes.
void set_ucbw_close(FlowmirState* fms, int remove);
void writeCbw_stepEnd_compute(FlowmirState* fms);
void writeCbw_dayEnd(FlowmirState* fms);
void writeCbw_simEnd(FlowmirState* fms);

#endif
