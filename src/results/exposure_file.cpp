// The exposure file.
#include "results/exposure_file.h"

#include <cmath>
#include <cstdio>

#include "controls/occupancy.h"
#include "results/resfile.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/paths.h"
#include "support/timeconv.h"

enum { EXP_PATH = 260 };

static void expPath(FlowmirState* fms, char* path)
{
    pathmerge(fms, path, EXP_PATH, fms->_pdrive, fms->_pdir, fms->_prjname, ".ebw");
}

void set_uexp_open(FlowmirState* fms)
{
    FlowmirState::ExpOut& x = fms->exp;
    if (x.fp || fms->nExposures < 1 || fms->nctm < 1) return;
    char path[EXP_PATH];
    expPath(fms, path);
    ResFile* rf = resfile_open(fms, path);
    if (!rf || !rf->fp) error(fms, FATAL, __FILE__, __LINE__, "Could not open EBW file; is it already open?", "");
    x = {};
    x.fp = rf->fp;
    char d0[16], d1[16];
    datxstr(fms, fms->date0, d0);
    datxstr(fms, fms->date1, d1);
    fprintf(x.fp, "%d\t%d\t%s\t%s\t%d\t%d\t%d\n", fms->nExposures, fms->nctm, d0, d1, fms->listStep, fms->expStepOut,
            fms->expSumOut);
    if (fms->expStepOut) {
        fprintf(x.fp, "day\ttime\tctm");
        for (int e = 1; e <= fms->nExposures; e++) fprintf(x.fp, "\t%d", e);
        fprintf(x.fp, "\n");
    }
    if (fms->expSumOut) fprintf(x.fp, "day\tpexp\tctm\tavg\tdev\tmin\tmin\tmax\tmax\n");
    int n = fms->nExposures, nc = fms->nctm;
    x.exp_day = static_cast<ExpStat**>(alc_mc(fms, 1, n, 0, nc - 1, sizeof(ExpStat), "fms->exp.exp_day"));
    x.exp_run = static_cast<ExpStat**>(alc_mc(fms, 1, n, 0, nc - 1, sizeof(ExpStat), "fms->exp.exp_run"));
    for (Exposure* ex = fms->exposures; ex; ex = ex->next) ex->presentDay = ex->presentRun = 0.0;
}

void set_uexp_close(FlowmirState* fms, int remove)
{
    FlowmirState::ExpOut& x = fms->exp;
    if (remove) {
        char path[EXP_PATH];
        expPath(fms, path);
        resfile_remove_on_commit(fms, path);
    }
    int n = fms->nExposures, nc = fms->nctm;
    if (x.exp_day) fre_mc(fms, x.exp_day, 1, n, 0, nc - 1, sizeof(ExpStat));
    if (x.exp_run) fre_mc(fms, x.exp_run, 1, n, 0, nc - 1, sizeof(ExpStat));
    x = {};
}

// One step of one occupant and species; the first step of a day starts the day's record.
static void expSample(ExpStat* d, bool first, float c, double present, bool whole, int t)
{
    if (first) {
        d->sum = c * present;
        d->sumSq = c * d->sum;
        d->min = whole ? c : 0.0f;
        d->max = c;
        d->tmin = d->tmax = t;
        d->minSet = whole;
        return;
    }
    d->sum += c * present;
    d->sumSq += (double)c * c * present;
    if (whole && (!d->minSet || c < d->min)) {
        d->min = c;
        d->tmin = t;
        d->minSet = 1;
    }
    if (c > d->max) {
        d->max = c;
        d->tmax = t;
    }
}

void writeExp_stepEnd(FlowmirState* fms, int t)
{
    FlowmirState::ExpOut& x = fms->exp;
    if (!x.fp) return;
    if (fms->expStepOut && fms->listStep > 0 && t % fms->listStep == 0) {
        char date[16], time[16];
        datxstr(fms, fms->dayofy, date);
        timestr(fms, t, time);
        for (int k = 0; k < fms->nctm; k++) {
            fprintf(x.fp, "%s\t%s\t%d", date, time, k + 1);
            for (const Exposure* ex = fms->exposures; ex; ex = ex->next) fprintf(x.fp, "\t%.6e", ex->expos[k]);
            fprintf(x.fp, "\n");
        }
    }
    if (!fms->expSumOut) return;
    bool first = x.stepsDay == 0;
    for (Exposure* ex = fms->exposures; ex; ex = ex->next) {
        bool whole = ex->present >= fms->time_step;
        for (int k = 0; k < fms->nctm; k++) expSample(&x.exp_day[ex->nr][k], first, ex->expos[k], ex->present, whole, t);
        ex->presentDay += ex->present;
    }
    x.stepsDay++;
}

static void expMerge(ExpStat* run, const ExpStat* day, bool first, int date)
{
    if (first) {
        *run = *day;
        run->tmin = run->tmax = date;
        return;
    }
    run->sum += day->sum;
    run->sumSq += day->sumSq;
    if (day->minSet && (!run->minSet || day->min < run->min)) {
        run->min = day->min;
        run->tmin = date;
        run->minSet = 1;
    }
    if (day->max > run->max) {
        run->max = day->max;
        run->tmax = date;
    }
}

// An occupant never present has no average to give: 0, not 0/0.
static void expLine(FlowmirState* fms, const char* when, int e, int k, const ExpStat* s, double present, bool dates)
{
    double avg = present > 0.0 ? s->sum / present : 0.0;
    double dev = present > 0.0 ? std::sqrt(std::fabs(s->sumSq / present - avg * avg)) : 0.0;
    char tmin[16], tmax[16];
    if (dates) {
        datxstr(fms, s->tmin, tmin);
        datxstr(fms, s->tmax, tmax);
    } else {
        timestr(fms, s->tmin, tmin);
        timestr(fms, s->tmax, tmax);
    }
    fprintf(fms->exp.fp, "%s\t%d\t%d\t%.6e\t%.6e\t%s\t%.6e\t%s\t%.6e\n", when, e, k, avg, dev, tmin, s->min, tmax,
            s->max);
}

void writeExp_dayEnd(FlowmirState* fms)
{
    FlowmirState::ExpOut& x = fms->exp;
    if (!x.fp || !fms->expSumOut || x.stepsDay == 0) return;
    char date[16];
    datxstr(fms, fms->dayofy, date);
    for (Exposure* ex = fms->exposures; ex; ex = ex->next)
        for (int k = 0; k < fms->nctm; k++) {
            expMerge(&x.exp_run[ex->nr][k], &x.exp_day[ex->nr][k], x.stepsRun == 0, fms->dayofy);
            expLine(fms, date, ex->nr, k + 1, &x.exp_day[ex->nr][k], ex->presentDay, false);
        }
    x.stepsRun += x.stepsDay;
    x.stepsDay = 0;
    for (Exposure* ex = fms->exposures; ex; ex = ex->next) {
        ex->presentRun += ex->presentDay;
        ex->presentDay = 0.0;
    }
}

void writeExp_simEnd(FlowmirState* fms)
{
    FlowmirState::ExpOut& x = fms->exp;
    if (!x.fp || !fms->expSumOut) return;
    if (x.stepsRun == 0) error(fms, FATAL, __FILE__, __LINE__, "divide by 0, call Orvo", "");
    for (const Exposure* ex = fms->exposures; ex; ex = ex->next)
        for (int k = 0; k < fms->nctm; k++) expLine(fms, "final", ex->nr, k + 1, &x.exp_run[ex->nr][k], ex->presentRun, true);
}
