// The summary files of a run as a group: which are opened, what each step, day end and run end
// gives them, and their closing.
#ifndef FLOWMIR_RESULTS_SUMMARY_FILES_H
#define FLOWMIR_RESULTS_SUMMARY_FILES_H

#include "engine/state.h"

// Opens the air-change, contaminant statistics and age files that are asked for; the others'
// earlier files are deleted when the run completes.
void summaries_open(FlowmirState* fms);
// The end of a transient step at time (seconds after midnight).
void summaries_stepEnd(FlowmirState* fms, int time);
void summaries_dayEnd(FlowmirState* fms);
// The run-end parts (after the day end), and the contaminant summary or its deletion.
void summaries_simEnd(FlowmirState* fms);
// A steady run's one state: its step values and, when asked for, its summaries.
void summaries_steady(FlowmirState* fms);
// Releases the work tables; with remove (a failed run) nothing is kept.
void summaries_close(FlowmirState* fms, int remove);

#endif
