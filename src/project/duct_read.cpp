// Duct segments: the links between two duct junctions.
#include "airflow/afe.h"
#include "project/components.h"
#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/heap.h"
#include "support/nxt.h"

static Junction* dct_junction(FlowmirState* fms, int jctNr, int dctNr)
{
    if (!comp_check_ref(fms, jctNr, 0, fms->njct, "Invalid junction number, duct", dctNr)) return nullptr;
    return jctNr > 0 ? fms->JctLst[jctNr] : nullptr;
}

static void dct_read_record(FlowmirState* fms, Duct* d, int cirdal)
{
    char word[4096];
    int nr = d->nr;
    d->flags = readU2(fms, 0);
    d->jctNrN = readIX(fms, 0);
    d->jctN = dct_junction(fms, d->jctNrN, nr);
    d->jctNrM = readIX(fms, 0);
    d->jctM = dct_junction(fms, d->jctNrM, nr);
    // A segment from a junction to itself would add its flow twice to one matrix entry.
    if (d->jctNrN != 0 && d->jctNrN == d->jctNrM)
        errorf(fms, ERROR, __FILE__, __LINE__, "Duct %d joins junction %d to itself", nr, d->jctNrN);
    d->dfeNr = readIX(fms, 0);
    if (comp_check_ref(fms, d->dfeNr, 1, fms->ndfe, "Invalid duct element number, duct", nr))
        d->dfe = fms->DfeLst[d->dfeNr];
    d->fltNr = readIX(fms, 0);
    comp_check_ref(fms, d->fltNr, 0, fms->nflt, "Invalid filter number, duct", nr);
    d->wshNr = readIX(fms, 0);
    comp_check_ref(fms, d->wshNr, 0, fms->nwsh, "Invalid week-schedule number, duct", nr);
    d->ctrlNr = readIX(fms, 0);
    comp_check_ref(fms, d->ctrlNr, 0, fms->nctrl, "Invalid control node number, duct", nr);
    readI2(fms, 0);
    d->len = readR4(fms, 0);
    d->val2 = readR4(fms, 0);
    d->val3 = readR4(fms, 0);
    d->sumC = readR4(fms, 0);
    for (int k = 0; k < 3; k++)
        readI2(fms, 0);
    d->vfType = comp_read_value_file(fms, d->vfKey);
    d->msrc = comp_value_source(d->ctrlNr, d->vfType, d->wshNr);
    if (cirdal) nxtwrd(fms, word, 4, sizeof word);
    // Friction alone needs a length; fittings alone need a loss coefficient.
    if (d->dfe && d->dfe->type == AFE_DCT_DWC && !(d->len > 0.0f) && !(d->sumC > 0.0f))
        errorf(fms, ERROR, __FILE__, __LINE__,
               "Duct %d with DWC element has neither length nor loss coefficient", nr);
}

int dct_read(FlowmirState* fms, MemBlock** pool, int cirdal)
{
    int n = comp_read_count(fms, "Duct Segment");
    fms->ndct = n;
    fms->DctLst = n > 0 ? alc_vt<Duct*>(fms, 1, n, "DctLst") : nullptr;
    for (int i = 1; i <= n; i++) {
        Duct* d = alc_ect<Duct>(fms, pool, "duct");
        fms->DctLst[i] = d;
        d->nr = i;
        if (prj_record_number(fms, "Duct", i)) break;
        dct_read_record(fms, d, cirdal);
        if (prj_errors(fms) > 0) break;
    }
    prj_section_end(fms, "Duct Segment");
    return n;
}
