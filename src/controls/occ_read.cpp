// The "Occupant Day Schedule" and "Occupant Exposure" sections.
#include "airflow/pool_array.h"
#include "controls/occupancy.h"
#include "project/check.h"
#include "project/components.h"
#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/heap.h"
#include "support/nxt.h"
#include "transport/species.h"

enum { DAY = 86400 };

static void occ_point_arrays(FlowmirState* fms, MemBlock** pool, OccSchedule* os, int npts)
{
    os->time = pool_arrayt<int>(fms, pool, npts, "time");
    os->zoneNr = pool_arrayt<int>(fms, pool, npts, "zoneNr");
    os->zone = pool_arrayt<AirNode*>(fms, pool, npts, "zone");
    os->x = pool_arrayt<float>(fms, pool, npts, "X");
    os->y = pool_arrayt<float>(fms, pool, npts, "Y");
    os->relHt = pool_arrayt<float>(fms, pool, npts, "relHt");
}

// The segment walk needs a whole day of segments in time order: at least two points, from
// 00:00:00 to 24:00:00, times not decreasing.
static void occ_points(FlowmirState* fms, MemBlock** pool, OccSchedule* os, int npts)
{
    if (npts < 2) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Occupancy schedule %d needs at least 2 points, has %d", os->nr,
               npts);
        return;
    }
    if (npts > nxt_remaining(fms)) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid point count in occupancy schedule %d: %d", os->nr, npts);
        return;
    }
    occ_point_arrays(fms, pool, os, npts);
    int read = 0;
    for (int j = 0; j < npts && !nxt_at_end(fms); j++, read++) {
        os->time[j] = readHMS(fms, 1);
        int z = readIX(fms, 0);
        os->x[j] = readR4(fms, 0);
        os->y[j] = readR4(fms, 0);
        os->relHt[j] = readR4(fms, 0);
        if (z < OCC_AMBIENT || z > fms->nzone) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Invalid zone number, Occ %d", os->nr);
            return;
        }
        // Out of the building at midnight means staying where the day ended.
        if (z == OCC_OUT && os->time[j] == DAY && j > 0) z = os->zoneNr[j - 1];
        os->zoneNr[j] = z;
        if (j > 0 && os->time[j] < os->time[j - 1]) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Occupancy schedule %d: point times must not decrease", os->nr);
            return;
        }
    }
    os->npts = read;
    if (read < npts) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Occupancy schedule %d: end of file within its %d points", os->nr,
               npts);
        return;
    }
    if (os->time[0] != 0)
        errorf(fms, ERROR, __FILE__, __LINE__, "Occupancy schedule %d: the first point must be at 00:00:00",
               os->nr);
    if (os->time[npts - 1] != DAY)
        errorf(fms, ERROR, __FILE__, __LINE__, "Occupancy schedule %d: the last point must be at 24:00:00",
               os->nr);
}

int occ_read(FlowmirState* fms, MemBlock** pool)
{
    int n = comp_read_count(fms, "Occupant Day Schedule");
    fms->nosh = n;
    fms->OshLst = n > 0 ? alc_vt<OccSchedule*>(fms, 1, n, "OshLst") : nullptr;
    char word[4096], line[4096];
    for (int i = 1; i <= n; i++) {
        if (prj_record_number(fms, "Occpancy-schedule", i)) break;
        OccSchedule* os = alc_ect<OccSchedule>(fms, pool, "osch");
        os->nr = i;
        fms->OshLst[i] = os;
        int npts = readI2(fms, 0);
        readI2(fms, 0);
        word[0] = '\0';
        nxtwrd(fms, word, 0, sizeof word);  // name
        nxtwrd(fms, line, 3, sizeof line);  // description
        occ_points(fms, pool, os, npts);
        if (prj_errors(fms) > 0) break;
    }
    prj_section_end(fms, "Occupant Day Schedule");
    return n;
}

// What scales a carried source: a week schedule, or a value-file column named on the line.
static void occ_source_scale(FlowmirState* fms, OccSource* src, int exposureNr)
{
    int w = readIX(fms, 0);
    if (comp_check_ref(fms, w, 0, fms->nwsh, "Invalid week-schedule number, exposure", exposureNr) && w > 0 &&
        fms->WshLst && fms->WshLst[w]) {
        src->wshNr = w;
        fms->WshLst[w]->useCount++;
    }
    src->rate = readR4(fms, 0);
    char word[4096];
    nxtwrd(fms, word, 0, sizeof word);  // units
    src->valueKind = (short)comp_read_value_file(fms, src->valueName);
}

// One source line: the species, and for an emitting occupant and a simulated species the
// source itself; the rest of the line belongs to the editor.
static void occ_source_line(FlowmirState* fms, MemBlock** pool, Exposure* ex, OccSource*** tail)
{
    char name[4096];
    name[0] = '\0';
    nxtwrd(fms, name, 1, sizeof name);
    int k = species_find(fms, name);
    if (!ex->emits || k < 0 || k >= fms->nctm) {
        check_free_text(fms);
        return;
    }
    OccSource* src = alc_ect<OccSource>(fms, pool, "pxs");
    src->owner = ex;
    src->species = k;
    occ_source_scale(fms, src, ex->nr);
    **tail = src;
    *tail = &src->next;
}

int exposure_read(FlowmirState* fms, MemBlock** pool)
{
    int n = comp_read_count(fms, "Occupant Exposure");
    fms->nExposures = n;
    fms->PxLst = n > 0 ? alc_vt<Exposure*>(fms, 1, n, "PxLst") : nullptr;
    Exposure** tail = &fms->exposures;
    while (*tail) tail = &(*tail)->next;
    OccSource** srcTail = &fms->occSources;
    while (*srcTail) srcTail = &(*srcTail)->next;
    char line[4096];
    for (int i = 1; i <= n; i++) {
        if (prj_record_number(fms, "Exposure", i)) break;
        Exposure* ex = alc_ect<Exposure>(fms, pool, "pexp");
        ex->nr = i;
        fms->PxLst[i] = ex;
        *tail = ex;
        tail = &ex->next;
        if (fms->nctm > 0) ex->expos = pool_arrayt<float>(fms, pool, fms->nctm, "expos");
        ex->emits = readI2(fms, 0);
        int nsrc = readIX(fms, 0);
        ex->mult = readR4(fms, 0);
        readI2(fms, 0);
        nxtwrd(fms, line, 3, sizeof line);  // description
        for (int k = 0; k < SCHED_DAY_TYPES; k++) {
            int s = readI2(fms, k == 0 ? 1 : 0);
            if (comp_check_ref(fms, s, 0, fms->nosh, "Invalid occupancy-schedule number, exposure", i) && s > 0)
                ex->occSched[k] = fms->OshLst[s];
        }
        if (nsrc < 0 || nsrc > nxt_remaining(fms)) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Invalid source count, exposure %d: %d", i, nsrc);
            break;
        }
        for (int k = 0; k < nsrc && !nxt_at_end(fms); k++) occ_source_line(fms, pool, ex, &srcTail);
        if (prj_errors(fms) > 0) break;
    }
    prj_section_end(fms, "Occupant Exposure");
    return n;
}

void occ_free_list(FlowmirState* fms)
{
    if (fms->nosh > 0) fre_vt(fms, fms->OshLst, 1, fms->nosh);
    fms->OshLst = nullptr;
}

void exposure_free_list(FlowmirState* fms)
{
    if (fms->nExposures > 0) fre_vt(fms, fms->PxLst, 1, fms->nExposures);
    fms->PxLst = nullptr;
}
