// What the end of a time step writes.
#ifndef FLOWMIR_RESULTS_RESULTS_STEP_H
#define FLOWMIR_RESULTS_RESULTS_STEP_H

#include "engine/state.h"

// End-of-step dispatch: listing-time records, the extremes pass, the per-step summaries.
void writeResults_stepEnd(FlowmirState* fms, int time);

#endif
