// Placeholder until the value files are read: no file, no column.
#include "controls/valfile.h"

int ctrl_NeedCvfDvf(FlowmirState*, int) { return 0; }
int CVF_init_data(FlowmirState*, int, int, int) { return 0; }
int DVF_init_data(FlowmirState*, int, int) { return 0; }
int CVF_init_controls(FlowmirState*) { return 0; }
int DVF_init_controls(FlowmirState*) { return 0; }
void vf_link(FlowmirState*, float**, int, const char*) {}
int CVF_get(FlowmirState*, int, int, int) { return 0; }
int DVF_get(FlowmirState*, int, int, int) { return 0; }
void CVF_restart(FlowmirState*, int, int) {}
void DVF_restart(FlowmirState*, int, int) {}
void CVF_close(FlowmirState*) {}
void DVF_close(FlowmirState*) {}
void set_ulogc_open(FlowmirState*) {}
void set_ulogc_write(FlowmirState*) {}
void set_ulogc_close(FlowmirState*, int) {}
int ctrlLogOpen(FlowmirState*) { return 0; }
