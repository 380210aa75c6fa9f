// The short-time-step results files: ".rzf" (zone temperatures, pressures and densities),
// ".rzm" (zone mass fractions), ".rz1" (the cells of one-dimensional zones), and their cross
// reference ".rxr" written once when any of them is written. Binary, little-endian.
#ifndef FLOWMIR_RESULTS_STS_FILES_H
#define FLOWMIR_RESULTS_STS_FILES_H

#include "engine/state.h"

// mode 1: opens the requested files (a file not requested, or without what it would hold, is
// deleted when the run completes) and writes the cross reference; mode 2: the files are kept
// when the run completes; mode above 2: this run's files are dropped.
void set_uSTS_ResultFiles(FlowmirState* fms, int mode);
// One record in each open file, at time (seconds after midnight) of the current day.
void writeSTS_ResultFiles(FlowmirState* fms, int time);

#endif
