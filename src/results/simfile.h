// The binary results file ".sim": header, identification block, step records, day summaries
// and the trailer with the run statistics.
#ifndef FLOWMIR_RESULTS_SIMFILE_H
#define FLOWMIR_RESULTS_SIMFILE_H

#include "engine/state.h"

enum { SIM_FILE_TYPE = 24, SIM_HEADER_INTS = 17, SIM_TRAILER_INTS = 16 };

// Creates the file beside the project (under its temporary name until the run completes) and
// writes the header and identification block.
void set_usim_open(FlowmirState* fms);
// Writes the trailer when the file is open, leaving it to be committed with the run's other
// results files; remove: drop this run's file instead (the earlier results stay).
void set_usim_close(FlowmirState* fms, int remove);
// The results switches are off: an earlier run's file is deleted when this run completes.
void set_usim_stale(FlowmirState* fms);
// Appends a step record for the given time of day.
void writeSim_stepTime(FlowmirState* fms, int time);
// Appends a day summary record at the current date and step end time.
void writeSim_daySummary(FlowmirState* fms);
// Starts a day: the daily values become the current state, the daily maxima table is cleared.
void writeSim_daySummary_init(FlowmirState* fms);
// Raises (or lowers) the daily values to the current state; once per time step.
void writeSim_daySummary_note(FlowmirState* fms);

#endif
