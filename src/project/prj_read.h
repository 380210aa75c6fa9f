// Reading a project file: header, version rule, run control and the sections in their order.
#ifndef FLOWMIR_PROJECT_PRJ_READ_H
#define FLOWMIR_PROJECT_PRJ_READ_H

#include "engine/state.h"

// 0 when the file was read to its end, 1 when it cannot be opened or its header is refused.
int prj_read(FlowmirState* fms, const char* path);
// Only the header, the run control and the species of a project: the species table for a
// reader of its results. Returns the number of simulated species, -1 when the file cannot be
// read that far without errors. Release with species_free and runctrl_free.
int prj_read_species(FlowmirState* fms, const char* path);
void prj_read_free_comp_lists(FlowmirState* fms);
void prj_read_free_element_lists(FlowmirState* fms);

#endif
