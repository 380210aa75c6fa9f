// The building airflow test: one steady solution with an outdoor-air tracer, classified zone
// by zone.
#include "bldgtest/bldgtest.h"
#include "engine/siminit.h"
#include "network/airnet.h"
#include "support/heap.h"
#include "support/log.h"
#include "transport/cse.h"

// Appends the sinks of list to the end of the inactive list.
static void deactivate(CseSink** inactive, CseSink** list)
{
    CseSink** tail = inactive;
    while (*tail) tail = &(*tail)->next;
    *tail = *list;
    *list = nullptr;
}

void bt_flow_prepare(FlowmirState* fms)
{
    fms->css[0] = fms->css[1] = nullptr;
    fms->ncss = 0;
    for (int k = 0; k < 2; k++) {
        deactivate(&fms->blsInactive, &fms->bls[k]);
        deactivate(&fms->dvrInactive, &fms->dvr[k]);
    }
}

void BldgFlow(FlowmirState* fms)
{
    LOG(fms, "Building airflow test called\n");
    // The tracer's steady solution leaves each solved node at its outdoor-air fraction; the
    // zones are held at 0 so that only air brought in by systems and ducts counts.
    fms->cnvgSS = 0;
    for (AirNode* n = fms->nodeList; n; n = n->next)
        if (n->Mf)
            for (int k = 0; k < fms->nctm; k++) n->Mf[k] = 0.0;
    if (fms->ambt->Mf) fms->ambt->Mf[0] = 1.0;
    if (fms->ambtMf) fms->ambtMf[0] = 1.0;
    sim_init(fms, 1);

    BtVolumes v;
    bt_volumes(fms, &v);
    FlowRow* rows = static_cast<FlowRow*>(alc_v(fms, 0, fms->nzone, sizeof(FlowRow), "Flows"));
    bt_flow_table(fms, rows, &v);
    double ach = bt_building_ach(fms, rows);
    FILE* fp = bt_open_val(fms);
    bt_write_flow_report(fms, fp, rows, &v, ach);
    bt_report_flush(fms, fp);
    fre_v(fms, rows, 0, fms->nzone, sizeof(FlowRow));
}
