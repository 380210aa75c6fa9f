// The air-change file.
#include "results/summary_ach.h"

#include <cmath>
#include <cstdio>

#include "network/airnet.h"
#include "results/resfile.h"
#include "results/summary_stats.h"
#include "support/error.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/timeconv.h"

enum { ACH_PATH = 260 };

static const char* const kSeries[3] = {"path", "duct", "total"};

static void achPath(FlowmirState* fms, char* path)
{
    pathmerge(fms, path, ACH_PATH, fms->_pdrive, fms->_pdir, fms->_prjname, ".ach");
}

// A listing time; a listing step of 0 (a steady run) lists its one state.
static bool listingTime(const FlowmirState* fms, int time)
{
    return fms->listStep <= 0 || time % fms->listStep == 0;
}

void set_uach_open(FlowmirState* fms)
{
    FlowmirState::AchOut& a = fms->ach;
    if (a.fp) return;
    double V = 0.0;
    for (AirNode* n = fms->nodeList; n; n = n->next)
        if (!(n->flags & NF_UNCOND)) V += n->V;
    if (V <= 0.0) error(fms, FATAL, __FILE__, __LINE__, "Building conditioned volume = 0", "");
    // Every rate would be infinite.
    if (!(fms->rhoRef > 0.0f))
        errorf(fms, FATAL, __FILE__, __LINE__, "Reference air density for air-change rates must be above 0: %g",
               fms->rhoRef);
    char path[ACH_PATH];
    achPath(fms, path);
    ResFile* rf = resfile_open(fms, path);
    if (!rf || !rf->fp) error(fms, FATAL, __FILE__, __LINE__, "Could not open ACH file; is it already open?", "");
    a = {};
    a.fp = rf->fp;
    a.V = V;
    a.factor = 3600.0 / (fms->rhoRef * V);
    a.imbDate = fms->dayofy;
    a.imbTime = fms->stepEndTime;
    char d0[16], d1[16];
    datestr(fms, fms->date0, d0);
    datestr(fms, fms->date1, d1);
    fprintf(a.fp, "%s\t%s\t%d\t%d\t%d\t%.2f\n", d0, d1, fms->listStep, fms->achStepOut, fms->achSumOut, V);
    if (fms->achStepOut) fprintf(a.fp, "day\ttime\tpath\tduct\ttotal\n");
    if (fms->achSumOut) fprintf(a.fp, "day\tb-w\tavg\tdev\tmin\tmin\tmax\tmax\n");
}

void set_uach_close(FlowmirState* fms, int remove)
{
    if (remove) {
        char path[ACH_PATH];
        achPath(fms, path);
        resfile_remove_on_commit(fms, path);
    }
    fms->ach.fp = nullptr;
}

// +1 for a link from unconditioned into conditioned space, -1 the other way, else 0.
static int orientation(const AirLink* l)
{
    bool outN = l->nodeN->flags & NF_UNCOND, outM = l->nodeM->flags & NF_UNCOND;
    if (outN && !outM) return 1;
    if (outM && !outN) return -1;
    return 0;
}

void writeAch_stepEnd(FlowmirState* fms, int time)
{
    FlowmirState::AchOut& a = fms->ach;
    if (!a.fp) return;
    double pathIn = 0.0, pathOut = 0.0, ductIn = 0.0, ductOut = 0.0;
    for (const AirLink* l = fms->linkList; l; l = l->next) {
        int o = orientation(l);
        if (o == 0) continue;
        double b = o * l->Flow[0];
        bool system = l->styp != LINK_PATH || (l->flags & (LF_AHR | LF_AHO | LF_AHX));
        double& in = system ? ductIn : pathIn;
        double& out = system ? ductOut : pathOut;
        if (b >= 0.0)
            in += b;
        else
            out -= b;
        if (l->Flow[1] != 0.0) {
            double c = o * l->Flow[1];
            if (c >= 0.0)
                pathIn += c;
            else
                pathOut -= c;
        }
    }
    double B = pathIn + pathOut + ductIn + ductOut;
    if (a.factor * B > 0.001) {
        double rel = 2.0 * fabs(pathIn + ductIn - pathOut - ductOut) / B;
        if (rel > a.imbalance) {
            a.imbalance = rel;
            a.imbDate = fms->dayofy;
            a.imbTime = time;
        }
    }
    float rates[3] = {(float)(a.factor * pathIn), (float)(a.factor * ductIn), (float)(a.factor * (pathIn + ductIn))};
    if (fms->achStepOut && listingTime(fms, time)) {
        char date[16], clock[16];
        datestr(fms, fms->dayofy, date);
        timestr(fms, time, clock);
        fprintf(a.fp, "%s\t%s\t%.6e\t%.6e\t%.6e\n", date, clock, rates[0], rates[1], rates[2]);
    }
    for (int k = 0; k < 3; k++) stat_sample(&a.day[k], rates[k], time);
}

void writeAch_dayEnd(FlowmirState* fms)
{
    FlowmirState::AchOut& a = fms->ach;
    if (!a.fp || a.day[0].n == 0) return;
    char date[16];
    datestr(fms, fms->dayofy, date);
    for (int k = 0; k < 3; k++) {
        if (fms->achSumOut) {
            fprintf(a.fp, "%s\t%s", date, kSeries[k]);
            stat_write(fms, a.fp, &a.day[k], false);
        }
        stat_merge(&a.run[k], &a.day[k], fms->dayofy);
    }
}

void writeAch_simEnd(FlowmirState* fms)
{
    FlowmirState::AchOut& a = fms->ach;
    if (!a.fp) return;
    if (a.run[0].n == 0) error(fms, FATAL, __FILE__, __LINE__, "/ 0, call Orvo", "");
    for (int k = 0; k < 3; k++) {
        fprintf(a.fp, "final\t%s", kSeries[k]);
        stat_write(fms, a.fp, &a.run[k], true);
    }
    char msg[160], date[16], clock[16];
    datestr(fms, a.imbDate, date);
    if (!timestr(fms, a.imbTime, clock)) clock[0] = '\0';
    snprintf(msg, sizeof msg, "Max relative imbalance in air exchange flows: %g %s %s", a.imbalance, date, clock);
    if (a.imbalance > 5.0 * fms->afRelcnvg)
        error(fms, WARNING, __FILE__, __LINE__, msg, "");
    else
        LOG(fms, "%s\n", msg);
}
