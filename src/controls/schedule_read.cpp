// The "Day Schedule" and "Week Schedule" sections.
#include "airflow/pool_array.h"
#include "controls/schedule.h"
#include "project/check.h"
#include "project/components.h"
#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/heap.h"
#include "support/nxt.h"

// The points of one schedule. A schedule needs a segment to interpolate on, and the seek walks
// forward in time, so the times must not decrease.
static void dschd_points(FlowmirState* fms, MemBlock** pool, DaySchedule* ds, int npts)
{
    if (npts < 2) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Day schedule %d needs at least 2 points, has %d", ds->nr, npts);
        return;
    }
    if (npts > nxt_remaining(fms)) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid point count in day schedule %d: %d", ds->nr, npts);
        return;
    }
    ds->times = pool_arrayt<int>(fms, pool, npts, "time");
    ds->values = pool_arrayt<float>(fms, pool, npts, "ctvl");
    int read = 0;
    for (int j = 0; j < npts && !nxt_at_end(fms); j++, read++) {
        ds->times[j] = readHMS(fms, 1);
        ds->values[j] = readR4(fms, 0);
        if (j > 0 && ds->times[j] < ds->times[j - 1]) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Day schedule %d: point times must not decrease", ds->nr);
            return;
        }
    }
    // The points that were read, so that nothing walks past them.
    ds->npts = read;
    if (read < npts)
        errorf(fms, ERROR, __FILE__, __LINE__, "Day schedule %d: end of file within its %d points", ds->nr, npts);
}

int dschd_read(FlowmirState* fms, MemBlock** pool)
{
    int n = comp_read_count(fms, "Day Schedule");
    fms->ndsh = n;
    fms->DshLst = n > 0 ? alc_vt<DaySchedule*>(fms, 1, n, "DshLst") : nullptr;
    DaySchedule** tail = &fms->daySchedList;
    while (*tail) tail = &(*tail)->next;
    char line[4096];
    for (int i = 1; i <= n; i++) {
        if (prj_record_number(fms, "Day-schedule", i)) break;
        DaySchedule* ds = alc_ect<DaySchedule>(fms, pool, "dsch");
        ds->nr = i;
        fms->DshLst[i] = ds;
        *tail = ds;
        tail = &ds->next;
        int npts = readI2(fms, 0);
        ds->shape = readI2(fms, 0);
        readI2(fms, 0);
        readI2(fms, 0);
        if (ds->shape != 0 && ds->shape != 1)
            errorf(fms, ERROR, __FILE__, __LINE__, "Day schedule %d: invalid shape %d", i, ds->shape);
        check_free_text(fms);  // the editor's rest of the line
        nxtwrd(fms, line, 3, sizeof line);  // description
        dschd_points(fms, pool, ds, npts);
        if (prj_errors(fms) > 0) break;
    }
    prj_section_end(fms, "Day Schedule");
    return n;
}

int wschd_read(FlowmirState* fms, MemBlock** pool)
{
    int n = comp_read_count(fms, "Week Schedule");
    fms->nwsh = n;
    fms->WshLst = n > 0 ? alc_vt<WeekSchedule*>(fms, 1, n, "WshLst") : nullptr;
    WeekSchedule** tail = &fms->weekSchedList;
    while (*tail) tail = &(*tail)->next;
    char word[4096], line[4096];
    for (int i = 1; i <= n; i++) {
        if (prj_record_number(fms, "Week-schedule", i)) break;
        WeekSchedule* ws = alc_ect<WeekSchedule>(fms, pool, "wsch");
        ws->nr = i;
        fms->WshLst[i] = ws;
        *tail = ws;
        tail = &ws->next;
        readI2(fms, 0);
        readI2(fms, 0);
        nxtwrd(fms, word, 0, sizeof word);  // name
        nxtwrd(fms, line, 3, sizeof line);  // description
        for (int k = 0; k < SCHED_DAY_TYPES; k++) {
            int d = readI2(fms, k == 0 ? 1 : 0);
            if (d < 1 || d > fms->ndsh || !fms->DshLst || !fms->DshLst[d])
                errorf(fms, ERROR, __FILE__, __LINE__, "Bad day-schedule: %d", d);
            else
                ws->daySched[k] = fms->DshLst[d];
        }
        if (prj_errors(fms) > 0) break;
    }
    prj_section_end(fms, "Week Schedule");
    return n;
}

void sched_free_lists(FlowmirState* fms)
{
    if (fms->ndsh > 0) fre_vt(fms, fms->DshLst, 1, fms->ndsh);
    if (fms->nwsh > 0) fre_vt(fms, fms->WshLst, 1, fms->nwsh);
    fms->DshLst = nullptr;
    fms->WshLst = nullptr;
}
