// The age-of-air file ".age": the mean age of the air of every zone, from the steady balance of
// the step's flows (the ambient's air is new), per listing step and as daily and whole-run
// statistics, with a check of the flow balance of every node.
#ifndef FLOWMIR_RESULTS_SUMMARY_AGE_H
#define FLOWMIR_RESULTS_SUMMARY_AGE_H

#include "engine/state.h"

void set_uage_open(FlowmirState* fms);
// Releases the work tables and forgets the open file; with remove, the project's ".age" file
// is deleted when the run completes.
void set_uage_close(FlowmirState* fms, int remove);
void writeAge_stepEnd(FlowmirState* fms, int time);
void writeAge_dayEnd(FlowmirState* fms);
void writeAge_simEnd(FlowmirState* fms);

#endif
