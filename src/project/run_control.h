// The run-control section of a project file: 34 lines of settings read into the state record.
#ifndef FLOWMIR_PROJECT_RUN_CONTROL_H
#define FLOWMIR_PROJECT_RUN_CONTROL_H

#include "engine/state.h"

// Reads the section from the open project stream, which stands after the description line,
// up to and including its -999 line. Returns 0 when the section left no error.
int runctrl_read(FlowmirState* fms);
// Releases the run control's own array (rvals).
void runctrl_free(FlowmirState* fms);

#endif
