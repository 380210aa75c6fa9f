// Results files of a run: each one is written under a temporary name beside its final one and
// renamed into place only when the run completes, so that the results of an earlier run survive
// any run that fails, is stopped or is killed by a signal. A file whose switch is off is
// deleted, again only when the run completes.
//
// The run keeps the list of its results files; the end of a run commits them all, a fatal
// error, a quit or a signal abandons them all (removing only this run's temporary files).
#ifndef FLOWMIR_RESULTS_RESFILE_H
#define FLOWMIR_RESULTS_RESFILE_H

#include <cstdio>

#include "engine/state.h"

// The records live in the run state (FlowmirState::resFiles), so keeping the list allocates
// nothing.

// Opens the temporary file of the results file named path and joins it to the run's list.
// The temporary name is the final one followed by ".part".
// Returns none when its temporary name is held by another run of the same project (or cannot
// be created); nothing of the other run is touched then.
ResFile* resfile_open(FlowmirState* fms, const char* path);
// Notes that path is to be deleted when the run completes (its switch is off).
void resfile_remove_on_commit(FlowmirState* fms, const char* path);
// Marks the file's results as incomplete: the run will fail instead of committing them.
void resfile_failed(ResFile* rf);
// Whether any results file of the run lost data; its final name is copied to name.
int resfile_any_failed(FlowmirState* fms, char* name, size_t size);

// Completes every results file of the run: renames each into place and performs the deletions.
// A rename that fails is reported as an ERROR naming the file. Returns the number of failures.
int resfile_commit_all(FlowmirState* fms);
// Closes and removes this run's temporary files; the final files stay as they were.
void resfile_abandon_all(FlowmirState* fms);
// Removes this run's temporary files without touching memory or streams: for a signal
// handler's last moment (async-signal-safe: unlink only).
void resfile_unlink_temps(FlowmirState* fms);

#endif
