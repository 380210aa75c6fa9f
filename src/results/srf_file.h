// The surface listing ".srf": the concentration held by every boundary-layer sink and the
// loading of every deposition/resuspension surface at the listing times.
#ifndef FLOWMIR_RESULTS_SRF_FILE_H
#define FLOWMIR_RESULTS_SRF_FILE_H

#include "engine/state.h"

// mode 1: creates the listing and writes its header (only with contaminants; otherwise, as for
// mode 3, no listing is kept). mode 2: the listing is left to be kept when the run completes.
// mode above 2: this run's listing is dropped and an earlier one deleted when the run completes.
void set_usrf(FlowmirState* fms, int mode);
// One line: date, time and every element's value.
void writeSrf_stepTime(FlowmirState* fms, int time);
// After a fatal error: forgets the listing, whose temporary file the run abandons.
void srfFile_abandon(FlowmirState* fms);

#endif
