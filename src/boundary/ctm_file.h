// The ambient contaminant file: outdoor mass fractions of some or all simulated species,
// interpolated between the two records around the current time.
#ifndef FLOWMIR_BOUNDARY_CTM_FILE_H
#define FLOWMIR_BOUNDARY_CTM_FILE_H

#include "engine/state.h"

// Opens ctmPath, checks that its period covers startDay..endDay, maps its columns to the
// simulated species and takes the first record. allocate on the first call of a run; later calls
// keep the arrays. A file that cannot be opened, is not a regular text file, or holds a field that
// cannot be read (here or in CTM_get) stops the run with a FATAL message.
void CTM_init(FlowmirState* fms, int startDay, int endDay, int allocate);

// Prepares the file again from startDay: after the year's end (from day 1) or for another cyclic
// day. Reopens the file and rebuilds the bracket from its first record, also when the file was
// ended early by a "*". Does nothing when the run reads no such file.
void CTM_restart(FlowmirState* fms, int startDay, int endDay);

// Brings the file to (day, time), interpolates and sets the ambient node's mass fractions of the
// species the file gives (never the water vapour, which the weather file owns). Returns the
// seconds from (day, time) to the later record (<= 0 at or past it).
int CTM_get(FlowmirState* fms, int day, int time, int advancePastNow);

// Frees the column map and the record values and closes the file; harmless when nothing is open.
void CTM_close(FlowmirState* fms);

#endif
