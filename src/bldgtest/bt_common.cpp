// What both building tests share: the zone classes, the building's volumes and the report file.
#include "bldgtest/bldgtest.h"

#include "network/airnet.h"
#include "results/resfile.h"
#include "support/error.h"
#include "support/paths.h"

char bt_class(FlowmirState* fms, const AirNode* n)
{
    if (n == fms->ambt) return BT_AMBT;
    if (n->styp == NODE_JCT) return BT_JCT;
    if (n->styp == NODE_TERM) return BT_TERM;
    if (n->flags & NF_AHS) return BT_SYS;
    if (n->flags & NF_UNCOND) return BT_UNCOND;
    return BT_COND;
}

void bt_volumes(FlowmirState* fms, BtVolumes* v)
{
    *v = BtVolumes{};
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        double V = n->V > 0.0f ? n->V : 0.0;
        if (n->styp != NODE_ZONE) {
            if (n->s_nr < 1 || n->s_nr > fms->njct)
                errorf(fms, FATAL, __FILE__, __LINE__, "Invalid junction number: %d", n->s_nr);
            v->ducts += V;
            continue;
        }
        if (n->s_nr < 0 || n->s_nr > fms->nzone)
            errorf(fms, FATAL, __FILE__, __LINE__, "Invalid zone number: %d", n->s_nr);
        if (n == fms->ambt) continue;
        if (!(n->V > 0.0f)) v->missing++;
        switch (bt_class(fms, n)) {
        case BT_SYS: v->ducts += V; break;
        case BT_UNCOND: v->uncond += V; break;
        default: v->cond += V; break;
        }
    }
}

FILE* bt_open_val(FlowmirState* fms)
{
    char path[260];
    pathmerge(fms, path, sizeof path, fms->_pdrive, fms->_pdir, fms->_prjname, ".val");
    ResFile* rf = resfile_open(fms, path);
    if (!rf || !rf->fp) error(fms, FATAL, __FILE__, __LINE__, "Could not open VAL file; is it already open?", "");
    return rf ? rf->fp : nullptr;
}

void bt_report_flush(FlowmirState* fms, FILE* fp)
{
    if (fflush(fp) == 0 && !ferror(fp)) return;
    // A report that lost lines must not be committed as complete.
    for (int i = 0; i < fms->nResFiles; i++)
        if (fms->resFiles[i].fp == fp) resfile_failed(&fms->resFiles[i]);
}
