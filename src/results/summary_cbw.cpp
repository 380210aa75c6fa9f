// The contaminant statistics file.
#include "results/summary_cbw.h"

#include <cstdio>

#include "network/airnet.h"
#include "results/resfile.h"
#include "results/summary_stats.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/paths.h"
#include "support/timeconv.h"

enum { CBW_PATH = 260 };

static void cbwPath(FlowmirState* fms, char* path)
{
    pathmerge(fms, path, CBW_PATH, fms->_pdrive, fms->_pdir, fms->_prjname, ".cbw");
}

void set_ucbw_open(FlowmirState* fms)
{
    FlowmirState::CbwOut& c = fms->cbw;
    if (c.fp || fms->nctm < 1) return;
    char path[CBW_PATH];
    cbwPath(fms, path);
    ResFile* rf = resfile_open(fms, path);
    if (!rf || !rf->fp) error(fms, FATAL, __FILE__, __LINE__, "Could not open CBW file; is it already open?", "");
    c = {};
    c.fp = rf->fp;
    char d0[16], d1[16];
    datestr(fms, fms->date0, d0);
    datestr(fms, fms->date1, d1);
    fprintf(c.fp, "%d\t%d\t%s\t%s\n", fms->nzone, fms->nctm, d0, d1);
    fprintf(c.fp, "day\tzone\tctm\tavg\tdev\tmin\tmin\tmax\tmax\n");

    c.zoneNode = alc_vt<AirNode*>(fms, 0, fms->nzone, "cbw_zones");
    for (int z = 0; z <= fms->nzone; z++) c.zoneNode[z] = nullptr;
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (n->nr == fms->nafnd)
            c.zoneNode[0] = n;
        else if (n->styp == NODE_ZONE && n->s_nr >= 1 && n->s_nr <= fms->nzone)
            c.zoneNode[n->s_nr] = n;
    }
    c.day = static_cast<SumStat**>(alc_mc(fms, 0, fms->nzone, 0, fms->nctm - 1, sizeof(SumStat), "ctm_day"));
    c.run = static_cast<SumStat**>(alc_mc(fms, 0, fms->nzone, 0, fms->nctm - 1, sizeof(SumStat), "ctm_run"));
    for (int z = 0; z <= fms->nzone; z++)
        for (int j = 0; j < fms->nctm; j++) c.day[z][j].n = c.run[z][j].n = 0;
}

void set_ucbw_close(FlowmirState* fms, int remove)
{
    FlowmirState::CbwOut& c = fms->cbw;
    if (remove) {
        char path[CBW_PATH];
        cbwPath(fms, path);
        resfile_remove_on_commit(fms, path);
    }
    if (c.zoneNode) fre_vt(fms, c.zoneNode, 0, fms->nzone);
    if (c.day) fre_mc(fms, c.day, 0, fms->nzone, 0, fms->nctm - 1, sizeof(SumStat));
    if (c.run) fre_mc(fms, c.run, 0, fms->nzone, 0, fms->nctm - 1, sizeof(SumStat));
    c = {};
}

void writeCbw_stepEnd_compute(FlowmirState* fms)
{
    FlowmirState::CbwOut& c = fms->cbw;
    if (!c.fp) return;
    for (int z = 0; z <= fms->nzone; z++) {
        const AirNode* n = c.zoneNode[z];
        if (!n || !n->Mf) continue;
        for (int j = 0; j < fms->nctm; j++) stat_sample(&c.day[z][j], (float)n->Mf[j], fms->stepEndTime);
    }
}

void writeCbw_dayEnd(FlowmirState* fms)
{
    FlowmirState::CbwOut& c = fms->cbw;
    if (!c.fp) return;
    char date[16];
    datestr(fms, fms->dayofy, date);
    for (int z = 0; z <= fms->nzone; z++) {
        if (!c.zoneNode[z]) continue;
        for (int j = 0; j < fms->nctm; j++) {
            if (c.day[z][j].n == 0) error(fms, FATAL, __FILE__, __LINE__, "divide by zero 0, call Orvo", "");
            fprintf(c.fp, "%s\t%d\t%d", date, z, j);
            stat_write(fms, c.fp, &c.day[z][j], false);
            stat_merge(&c.run[z][j], &c.day[z][j], fms->dayofy);
        }
    }
}

void writeCbw_simEnd(FlowmirState* fms)
{
    FlowmirState::CbwOut& c = fms->cbw;
    if (!c.fp) return;
    for (int z = 0; z <= fms->nzone; z++) {
        if (!c.zoneNode[z]) continue;
        for (int j = 0; j < fms->nctm; j++) {
            if (c.run[z][j].n == 0) error(fms, FATAL, __FILE__, __LINE__, "divide by zero, call Orvo", "");
            fprintf(c.fp, "final\t%d\t%d", z, j);
            stat_write(fms, c.fp, &c.run[z][j], true);
        }
    }
}
