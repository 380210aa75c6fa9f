// The co-simulation interface's own workings, shared by its modules and the run driver.
#ifndef FLOWMIR_COSIM_COSIM_H
#define FLOWMIR_COSIM_COSIM_H

#include "engine/state.h"

// Lists by which a host reaches zones and paths, made right after network assembly.
void setup_cosim_lists(FlowmirState* fms);
void free_cosim_lists(FlowmirState* fms);
// Runs that drive their own loop (cyclic days, variable-step transport) cannot be stepped by a
// host: false, with an error, for those.
bool cosim_steppable(FlowmirState* fms);
// Calls the host's project-data-ready function, if it gave one.
void cosim_projectDataReady(FlowmirState* fms);
// The zone node and path link of a 1-based host index, or none when out of range.
AirNode* cosim_zone(const FlowmirState* fms, int zone);
AirLink* cosim_path(const FlowmirState* fms, int path);
// A step's record is written during the host's next call, after the host has set the next
// step's inputs: the inputs it was solved with are kept after each solve and exchanged with
// the current ones around the writing.
void cosim_snapshot_save(FlowmirState* fms);
void cosim_snapshot_swap(FlowmirState* fms);

#endif
