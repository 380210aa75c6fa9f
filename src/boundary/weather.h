// The weather file: ambient conditions of a transient run, interpolated between the two records
// around the current time, and the daily calendar that drives the week schedules.
#ifndef FLOWMIR_BOUNDARY_WEATHER_H
#define FLOWMIR_BOUNDARY_WEATHER_H

#include "engine/state.h"

// Slots of a record's ten values (wthPrev, wthNext, wthNow); slots 5..9 are carried only.
enum {
    WTH_TAMB = 0, // ambient temperature, K
    WTH_PBAR = 1, // barometric pressure, Pa
    WTH_WSPD = 2, // wind speed, m/s
    WTH_WDIR = 3, // wind direction, deg
    WTH_HUMR = 4, // humidity ratio, g/kg
    WTH_NVAL = 10
};

// Opens wthPath, checks that its calendar covers startDay..endDay, reads the calendar and takes
// the first record. allocateDays on the first call of a run; later calls keep the day tables.
// A file that cannot be opened, is not a regular text file, or holds a field that cannot be
// read (here or in WTH_get) stops the run with a FATAL message.
void WTH_init(FlowmirState* fms, int startDay, int endDay, int allocateDays);

// Prepares the file again from startDay: after the year's end (from day 1) or for another
// cyclic day. Reopens the file and rebuilds the bracket from its first record.
void WTH_restart(FlowmirState* fms, int startDay, int endDay);

// Brings the file to (day, time), interpolates and publishes the ambient conditions and the
// day's calendar. Returns the seconds from (day, time) to the later record (<= 0 at or past it).
int WTH_get(FlowmirState* fms, int day, int time, int advancePastNow);

// Day type of a day of the calendar.
int WTH_get_day_type(FlowmirState* fms, int day);

// Frees the day tables and closes the file; harmless when nothing is open.
void WTH_close(FlowmirState* fms);

#endif
