// The steady-state initialisation and the pieces of the clock shared by the loops.
#ifndef FLOWMIR_ENGINE_SIMINIT_H
#define FLOWMIR_ENGINE_SIMINIT_H

#include "engine/state.h"

struct AfMat;

// Computes the initial condition at the steady-state or start time; a steady-only run also
// writes its results.
int sim_init(FlowmirState* fms, int steadyOnly);
// Solves the airflow network with the matrix record's Newton variant; iterations made.
int solveAirflow(FlowmirState* fms, AfMat* mat);
// Seconds from (day, time) to the end of the current step; crosses the year's end.
int timeElapsed(FlowmirState* fms, int day, int time);
// Copies the zones' and junctions' mass fractions to their previous-step arrays.
void copyMassFractions(FlowmirState* fms);

#endif
