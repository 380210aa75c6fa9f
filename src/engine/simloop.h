// The transient loop: clock, day change, density iteration, run extremes, console pause.
#ifndef FLOWMIR_ENGINE_SIMLOOP_H
#define FLOWMIR_ENGINE_SIMLOOP_H

#include "engine/state.h"

// Prepares the transient loop and, unless co-simulating, runs it; write: results are written.
int sim_loop_init(FlowmirState* fms, int write);
// The loop itself; in co-simulation one step.
int sim_loop_start(FlowmirState* fms, int write);
// The loop's end once the period is over (a host-stepped run: at fmiEndSimulation).
int sim_loop_done(FlowmirState* fms, int write);
// Day change at midnight (and the year's end after day 365).
void rolloverNewSimDate(FlowmirState* fms, int write);
// 0 go on, 1 assume convergence at the end of the day, 2 quit.
int simInterrupt_checkInterrupt(FlowmirState* fms);
void simInterrupt_writeInstructions(FlowmirState* fms);
void extremesInit(FlowmirState* fms);
void extremesCalc(FlowmirState* fms);
// The extremes lines of the statistics report (transient airflow runs).
void extremesReport(FlowmirState* fms);
// Results of a steady-only run, written once after the initialisation.
void steadyResults(FlowmirState* fms);
void writeSummaries_dayEnd(FlowmirState* fms);
void writeSummaries_simEnd(FlowmirState* fms);

#endif
