// The air-change file ".ach": the building's air-change rates through paths, through the duct
// system and in total, per listing step and as daily and whole-run statistics, and the largest
// imbalance between the air entering and leaving the conditioned space.
#ifndef FLOWMIR_RESULTS_SUMMARY_ACH_H
#define FLOWMIR_RESULTS_SUMMARY_ACH_H

#include "engine/state.h"

void set_uach_open(FlowmirState* fms);
// Forgets the open file (it is completed with the run's other results files); with remove,
// the project's ".ach" file is deleted when the run completes.
void set_uach_close(FlowmirState* fms, int remove);
void writeAch_stepEnd(FlowmirState* fms, int time);
void writeAch_dayEnd(FlowmirState* fms);
void writeAch_simEnd(FlowmirState* fms);

#endif
