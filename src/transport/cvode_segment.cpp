// One segment of the variable-step run: its stop time, chosen so that no boundary record,
// schedule point, midnight or (when read) listing time falls inside it, and its internal
// steps, each with the boundary values, controls and airflows at its start, the accounting
// of what it moved, and the listings inside it, interpolated.
#include <cvode/cvode.h>
#include <nvector/nvector_serial.h>

#include <algorithm>
#include <cmath>

#include "airflow/pressures.h"
#include "boundary/ctm_file.h"
#include "boundary/weather.h"
#include "boundary/wpc_file.h"
#include "controls/ctrl.h"
#include "controls/schedule.h"
#include "controls/valfile.h"
#include "engine/siminit.h"
#include "engine/simloop.h"
#include "network/airnet.h"
#include "results/envelope_mass.h"
#include "results/simfile.h"
#include "results/sqlite_out.h"
#include "results/srf_file.h"
#include "results/summary_files.h"
#include "support/error.h"
#include "support/timeconv.h"
#include "transport/cvode_impl.h"
#include "transport/mfsystem.h"

enum { DAY = 86400 };

typedef int (*BoundaryGet)(FlowmirState*, int, int, int);

// The boundary files the run reads, in the order the steps bring them.
static int openFiles(FlowmirState* fms, BoundaryGet* get)
{
    int n = 0;
    if (fms->ctmFile) get[n++] = CTM_get;
    if (fms->wthFile) get[n++] = WTH_get;
    if (fms->wpcOpen) get[n++] = WPC_get;
    if (fms->cvfReady) get[n++] = CVF_get;
    if (fms->dvfReady) get[n++] = DVF_get;
    return n;
}

static void shorten(int* w, int d)
{
    if (d > 0 && d < *w) *w = d;
}

// Seconds to the next point of a day schedule in use, in the schedules' local time.
static int toSchedulePoint(FlowmirState* fms, int now)
{
    int local = fms->dstFlag ? now + 3600 : now;
    int k = fms->dayType - 1;
    if (local >= DAY) {
        local -= DAY;
        k = fms->dayOfWeek % 7;
    }
    return wkScheds_seek(fms, k, local);
}

int cvode_segmentEnd(CvodeRun* run)
{
    FlowmirState* fms = run->fms;
    int now = fms->stepEndTime;
    int w = DAY - now;
    if (fms->dayofy == fms->endDate) shorten(&w, fms->endTime - now);
    BoundaryGet get[5];
    int nfiles = openFiles(fms, get);
    for (int i = 0; i < nfiles; i++) shorten(&w, get[i](fms, fms->dayofy, now, 1));
    shorten(&w, toSchedulePoint(fms, now));
    if (run->needListTimes) shorten(&w, run->listAt - now);
    return now + w;
}

// The boundary values, schedules and controls at the start of an internal step.
static void boundaryAtStart(CvodeRun* run)
{
    FlowmirState* fms = run->fms;
    BoundaryGet get[5];
    int nfiles = openFiles(fms, get);
    for (int i = 0; i < nfiles; i++) get[i](fms, fms->dayofy, fms->stepStartTime, 0);
    setSchedulesAndControls(fms, fms->stepStartTime + 1, run->writeResults);
}

// The airflows at the start of an internal step, repeated while the densities move.
static void airflowAtStart(FlowmirState* fms)
{
    calc_wP(fms);
    if (fms->dodMdt)
        for (AirNode* n = fms->nodeList; n; n = n->next) {
            n->M0 = n->M;
            n->P0 = n->P;
        }
    int itmax = fms->densItmax < 2 ? 2 : fms->densItmax;
    for (int it = 1;; it++) {
        fms->stepIters++;
        calc_sP(fms);
        solveAirflow(fms, fms->afMat);
        if (fms->nNonTrace == 0 || airNodeDensitiesHaveConverged(fms)) break;
        if (it >= itmax) {
            error(fms, ERROR, __FILE__, __LINE__, "Too many density iterations", "");
            break;
        }
    }
    findPgage(fms);
}

// The nodes and sinks take the state y.
static void nodesFrom(CvodeRun* run, N_Vector y)
{
    MfSystem* sys = run->sys;
    FlowmirState* fms = run->fms;
    setNodeConcs_fromSpeciesMasses(fms, N_VGetArrayPointer(y) - 1, sys->x, sys->bls, sys->dvr, sys->first,
                                   fms->nNonTrace, sys->end);
    if (fms->nNonTrace > 0) findAirNodeRs_nonTr(fms);
}

// The results of one listing time, with the clock at it.
static void writeListing(CvodeRun* run, int L)
{
    FlowmirState* fms = run->fms;
    int end = fms->stepEndTime;
    fms->stepEndTime = L;
    writeSim_stepTime(fms, L);
    writeSql_stepTime(fms);
    if (fms->mfsim == 2 || fms->mfsim == 3) writeSrf_stepTime(fms, L);
    summaries_stepEnd(fms, L);
    fms->stepEndTime = end;
}

// Every listing time up to the end of the step just taken, from the interpolated state; a run
// that writes nothing only passes them.
static void listingsUpTo(CvodeRun* run)
{
    FlowmirState* fms = run->fms;
    bool interpolated = false;
    for (; fms->listStep > 0 && run->listAt <= fms->stepEndTime; run->listAt += fms->listStep) {
        if (!run->writeResults) continue;
        if (run->mem) {
            if (CVodeGetDky(run->mem, run->listAt, 0, run->dky) != CV_SUCCESS)
                error(fms, FATAL, __FILE__, __LINE__, "Interpolation failed, call Orvo", "");
            nodesFrom(run, run->dky);
            interpolated = true;
        }
        writeListing(run, run->listAt);
    }
    if (interpolated) nodesFrom(run, run->y);
}

static void progress(CvodeRun* run)
{
    FlowmirState* fms = run->fms;
    if (fms->screenStep <= 0 || fms->stepEndTime < run->screenAt) return;
    while (run->screenAt <= fms->stepEndTime) run->screenAt += fms->screenStep;
    if (fms->quiet || fms->guiMode) return;
    char date[16], time[16];
    datestr(fms, fms->dayofy, date);
    timestr(fms, fms->stepEndTime, time);
    fprintf(stderr, " Date: %s  time: %s\n", date, time);
    fflush(stderr);
}

// One internal step of the integrator towards T; the step's end in whole seconds.
static int internalStep(CvodeRun* run, int T)
{
    FlowmirState* fms = run->fms;
    if (!run->mem) return run->listAt > fms->stepEndTime ? std::min(run->listAt, T) : T;
    double t = run->t;
    int rc = CVode(run->mem, T, run->y, &t, CV_ONE_STEP);
    run->t = t;
    if (rc == CV_SUCCESS) return std::min((int)floor(t), T);
    if (rc == CV_TSTOP_RETURN) {
        run->t = T;
        return T;
    }
    errorf(fms, FATAL, __FILE__, __LINE__, "Unexpected CVODE return: %d", rc);
    return T;
}

void cvode_segment(CvodeRun* run, int T)
{
    FlowmirState* fms = run->fms;
    if (run->mem && CVodeSetStopTime(run->mem, T) != CV_SUCCESS)
        error(fms, FATAL, __FILE__, __LINE__, "Failed to set problem", "");
    bool advanced = true;
    while (fms->stepEndTime < T) {
        if (advanced) {
            boundaryAtStart(run);
            if (fms->afsim == 1) airflowAtStart(fms);
        }
        fms->stepEndTime = internalStep(run, T);
        fms->stepCount++;
        advanced = fms->stepEndTime > fms->stepStartTime;
        if (run->mem) nodesFrom(run, run->y);
        progress(run);
        if (!advanced) continue;
        fms->time_step = fms->stepEndTime - fms->stepStartTime;
        fms->dt = (float)fms->time_step;
        fms->rdt = 1.0f / fms->dt;
        process_mf_results(fms);
        if (run->writeResults) extremesCalc(fms);
        noteMaxAirNodeConcs(fms);
        listingsUpTo(run);
        fms->stepStartTime = fms->stepEndTime;
    }
}
