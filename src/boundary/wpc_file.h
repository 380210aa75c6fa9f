// The wind pressure and contaminant file: per opening of the envelope, the wind pressure and
// the outdoor mass fractions in front of it, as a time series. Openings are matched to the
// file's locations by position; each matched link takes its wind pressure and the
// concentrations of its outdoor end from its location.
#ifndef FLOWMIR_BOUNDARY_WPC_FILE_H
#define FLOWMIR_BOUNDARY_WPC_FILE_H

#include "engine/state.h"

// One location of the file, as its location line gives it.
struct WpcLoc {
    int fileNr;  // the location number written in the file
    int seq;     // its position in the file, 1..n
    float x, y;  // m, plan position
    float z;     // m, absolute height
    int status;  // the integer after the coordinates; 0 for a usable location
};

// Largest distance, in each coordinate, at which two positions are taken as one opening (m).
static const float WPC_SAME_PLACE = 0.0015f;

// Opens wpcPath, checks it against the run control and the period startDay..endDay, reads its
// locations and takes the first record. With allocate (the first call of a run) it also sizes
// its arrays and maps every link of the location list to the file location at its position;
// later calls (a new year, another cyclic day) read the file again from its start and keep the
// arrays and the mapping. Every fault of the file stops the run with a FATAL message.
void WPC_init(FlowmirState* fms, int startDay, int endDay, int allocate);

// Prepares the file again from startDay; does nothing when the run reads no such file.
void WPC_restart(FlowmirState* fms, int startDay, int endDay);

// Brings the file to (day, time) and publishes the wind pressures, barometric pressure and
// ambient temperature (when the file gives pressures) and the outdoor mass fractions (when it
// gives them). Returns the seconds from (day, time) to the later record (<= 0 at or past it).
int WPC_get(FlowmirState* fms, int day, int time, int advancePastNow);

// Frees the arrays and closes the file; harmless when nothing is open.
void WPC_close(FlowmirState* fms);

#endif
