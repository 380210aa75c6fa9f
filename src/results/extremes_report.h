// The report of the run's extremes.
#ifndef FLOWMIR_RESULTS_EXTREMES_REPORT_H
#define FLOWMIR_RESULTS_EXTREMES_REPORT_H

#include "engine/state.h"

// The extremes of the run through a printf-like printer (the log printer and flusher in a run);
// each is printed only when it carries a value.
void writeLog_extremes(FlowmirState* fms, LogFcn print);

#endif
