// The restart file ".rst": a snapshot of the run's dynamic state at the end of every simulated
// day, from which a later run of the same project can start instead of from a steady state.
//
// Layout, native little-endian: ten 32-bit header integers (nzone, npath, nctm, njct, ndct,
// sources + boundary-layer sinks + deposition sinks, nctrl, first date, last date, record size),
// then one record per day: day and time (32-bit) and the blocks of 64-bit reals that are not
// empty — nodes (T, P, R, M), links (Flow[0], Flow[1], dP), node mass fractions, filter
// loadings, source states, boundary-layer sink and deposition sink values, controls.
//
// The file is written under "<project>.rst.part" and renamed into place when the run
// completes, so a run that fails, or an input test, never destroys an earlier run's file.
#ifndef FLOWMIR_ENGINE_RESTART_H
#define FLOWMIR_ENGINE_RESTART_H

#include "engine/state.h"

enum { RST_HEADER_INTS = 10 };

// Block counts, record size and header for the current network; allocates rBuf once.
void set_urst_init(FlowmirState* fms);
// Creates this run's file and writes the header (transient runs only).
void set_urst_open(FlowmirState* fms);
// Appends the record of (day, time); nothing when no file is open.
void writeRst_stepTime(FlowmirState* fms, int day, int time);
// Loads the snapshot of date from the project's ".rst": 0 when loaded, 1 otherwise (the file,
// the buffer and the network's state are then as they were before the call).
int rstget(FlowmirState* fms, int date);
// Releases rBuf and forgets the stream. remove 0: the file is kept to be renamed into place
// when the run completes; remove 1: this run's file is dropped with the run's other
// temporary files (an earlier run's ".rst" stays).
void set_urst_close(FlowmirState* fms, int remove);
// The initial condition from the snapshot of restartDate: 0 when loaded, 1 when not.
int sim_init_restart(FlowmirState* fms);

// The final name of the project's restart file.
void rst_path(FlowmirState* fms, char* path, int size);

#endif
