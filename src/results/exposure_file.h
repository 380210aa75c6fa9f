// The exposure file (".ebw"): the occupants' exposures at listing times, and their daily and
// whole-run statistics weighted by the time each occupant was present.
#ifndef FLOWMIR_RESULTS_EXPOSURE_FILE_H
#define FLOWMIR_RESULTS_EXPOSURE_FILE_H

#include "engine/state.h"

// Statistics of one occupant and species over a day or the run. Sums are weighted by the
// seconds present; the minimum counts only steps the occupant spent wholly in a zone.
struct ExpStat {
    double sum, sumSq;
    float min, max;
    int tmin, tmax;  // the day's: times of day; the run's: dates
    int minSet;      // a whole step of presence has given the minimum
};

// Opens the file when an exposure switch is on and there are exposures and species; otherwise
// an earlier file is deleted when the run completes.
void set_uexp_open(FlowmirState* fms);
// The end of a step at time t (seconds after midnight).
void writeExp_stepEnd(FlowmirState* fms, int t);
void writeExp_dayEnd(FlowmirState* fms);
void writeExp_simEnd(FlowmirState* fms);
// Closes the file (kept, or with remove deleted) and releases the tables.
void set_uexp_close(FlowmirState* fms, int remove);

#endif
