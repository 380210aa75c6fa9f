// The control value files and the control log: the continuous values file (CVF), whose
// columns are interpolated in time, the discrete values file (DVF), whose columns change at
// event times, the connection of control nodes and components to their columns, and the
// ".log" file of the `log` control nodes.
#ifndef FLOWMIR_CONTROLS_VALFILE_H
#define FLOWMIR_CONTROLS_VALFILE_H

#include "engine/state.h"

// Kinds of ctrl_NeedCvfDvf: 3 CVF, 4 DVF. Kinds of vf_link: 1 CVF, 2 DVF.
int ctrl_NeedCvfDvf(FlowmirState* fms, int kind);

// Open the file, check that it covers startDay..endDay, read its columns and position on its
// first record. The column arrays are made by the first call of a run only (components and
// control nodes point into them); later calls reopen the stream and keep them.
int CVF_init_data(FlowmirState* fms, int startDay, int endDay, int allocate);
int DVF_init_data(FlowmirState* fms, int startDay, int endDay);
// Connect the `cvf` / `dvf` control nodes, after the components have been linked; the column
// names are then dropped. A missing column, of a node or of a component, stops the run.
int CVF_init_controls(FlowmirState* fms);
int DVF_init_controls(FlowmirState* fms);
// Points *target at the current value of the named column of the chosen file.
void vf_link(FlowmirState* fms, float** target, int kind, const char* name);
// Seconds to the later record, as the weather file's reader.
int CVF_get(FlowmirState* fms, int day, int time, int advancePastNow);
int DVF_get(FlowmirState* fms, int day, int time, int advancePastNow);
// Prepare again from startDay (the year's end, a new cyclic day) without reallocating.
void CVF_restart(FlowmirState* fms, int startDay, int endDay);
void DVF_restart(FlowmirState* fms, int startDay, int endDay);
// Close the streams and release the arrays at the end of the run.
void CVF_close(FlowmirState* fms);
void DVF_close(FlowmirState* fms);

// The control log.
void set_ulogc_open(FlowmirState* fms);
void set_ulogc_write(FlowmirState* fms);
void set_ulogc_close(FlowmirState* fms, int remove);
// After a fatal error: forgets the log, whose temporary file the run abandons.
void ctrlLog_abandon(FlowmirState* fms);
int ctrlLogOpen(FlowmirState* fms);

#endif
