// Day and week schedules at the time of day. The segment search resumes from the remembered
// cursor, so a day's evaluations walk each schedule once.
#include <algorithm>
#include <cmath>

#include "controls/schedule.h"

// Index d of the point that ends the segment holding t: times[d - 1] <= t < times[d], or the
// last point when t lies at or past it.
static int segmentEnd(const DaySchedule* ds, int t)
{
    int c = ds->cursor;
    int d = (c >= 0 && c < ds->npts - 1 && ds->times[c] <= t) ? c + 1 : 1;
    while (ds->times[d] <= t && d != ds->npts - 1) d++;
    return d;
}

// Linear between points i and i + 1; the end values hold outside the segment, which also
// covers a segment of zero length.
static float rampAt(const DaySchedule* ds, int i, double t)
{
    double t0 = ds->times[i], t1 = ds->times[i + 1];
    if (t <= t0) return ds->values[i];
    if (t >= t1) return ds->values[i + 1];
    return (float)(((t - t0) * ds->values[i + 1] + (t1 - t) * ds->values[i]) / (t1 - t0));
}

int wkScheds_seek(FlowmirState* fms, int k, int t)
{
    fms->schedDayType = k;
    for (DaySchedule* ds = fms->daySchedList; ds; ds = ds->next) ds->seeked = 0;
    int result = 86400 - t;
    if (k < 0 || k >= SCHED_DAY_TYPES) return result;
    for (WeekSchedule* ws = fms->weekSchedList; ws; ws = ws->next) {
        DaySchedule* ds = ws->daySched[k];
        if (!ds || ds->seeked || ds->npts < 2) continue;
        int d = segmentEnd(ds, t);
        ds->cursor = d - 1;
        ds->seeked = 1;
        bool past = ds->times[d] <= t;  // at or beyond the last point: its value holds
        if (!past) result = std::min(result, ds->times[d] - t);
        if (ds->shape == 0) ds->value = past ? ds->values[d] : ds->values[d - 1];
    }
    return result;
}

void wkScheds_eval(FlowmirState* fms, int t)
{
    for (DaySchedule* ds = fms->daySchedList; ds; ds = ds->next)
        if (ds->seeked && ds->shape != 0 && ds->npts >= 2) ds->value = rampAt(ds, ds->cursor, t);
    int k = fms->schedDayType;
    if (k < 0 || k >= SCHED_DAY_TYPES) return;
    for (WeekSchedule* ws = fms->weekSchedList; ws; ws = ws->next)
        if (ws->daySched[k]) ws->value = ws->daySched[k]->value;
}

float sch_val(double t, DaySchedule* ds)
{
    if (!ds || ds->npts < 2) return 0.0f;
    int c = (int)std::floor(std::clamp(t, -1.0, 1.0e9));
    int d = segmentEnd(ds, c);
    // A schedule in use today keeps its place for the seek of the next step.
    if (!ds->seeked) ds->cursor = d - 1;
    return rampAt(ds, d - 1, t);
}
