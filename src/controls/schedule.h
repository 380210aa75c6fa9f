// Day schedules (a daily profile of values) and week schedules (which day schedule applies on
// which day type), their project sections and their evaluation at the time of day.
#ifndef FLOWMIR_CONTROLS_SCHEDULE_H
#define FLOWMIR_CONTROLS_SCHEDULE_H

#include "engine/state.h"

enum { SCHED_DAY_TYPES = 12 };

struct DaySchedule {
    DaySchedule* next;  // every day schedule, in file order
    float value;        // the value at the current time of day
    int* times;         // [npts] seconds of the day, ascending ("time")
    float* values;      // [npts] ("ctvl")
    int cursor;         // segment in force: times[cursor] <= t < times[cursor + 1]
    int npts;
    int shape;          // 0 step, 1 ramp
    int nr;
    int seeked;         // in use today
};

struct WeekSchedule {
    WeekSchedule* next;
    float value;        // today's day schedule's value
    DaySchedule* daySched[SCHED_DAY_TYPES];  // day types 1..12, stored from 0
    int nr;
    int useCount;       // control nodes and components that read it
};

// "Day Schedule" and "Week Schedule" sections; each returns its record count and stores it in
// fms->ndsh / fms->nwsh with the tables fms->DshLst / fms->WshLst.
int dschd_read(FlowmirState* fms, MemBlock** pool);
int wschd_read(FlowmirState* fms, MemBlock** pool);
// Releases the tables (the records stay with the run).
void sched_free_lists(FlowmirState* fms);

// Seconds from t to the next point of any day schedule in use today for day-type index k
// (0-based), at most 86400 - t; places every such schedule on its segment.
int wkScheds_seek(FlowmirState* fms, int k, int t);
// Values of the seeked schedules at t, and of every week schedule.
void wkScheds_eval(FlowmirState* fms, int t);
// The ramp value of a day schedule at t.
float sch_val(double t, DaySchedule* ds);

#endif
