// Termination signals during a batch run: SIGINT, SIGTERM and SIGHUP stop the run at its next
// safe point (between steps), with a log line naming the signal, this run's temporary results
// files removed and the exit status 128 + the signal number. A second signal before that point
// removes the temporary files and ends the process at once.
#ifndef FLOWMIR_ENGINE_SIGNALS_H
#define FLOWMIR_ENGINE_SIGNALS_H

#include "engine/state.h"

// Installs the handlers for the run of fms; signals_restore puts back the host's.
void signals_install(FlowmirState* fms);
void signals_restore(void);
// At a safe point: ends the run when a termination signal has arrived.
void signals_check(FlowmirState* fms);

#endif
