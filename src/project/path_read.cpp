// Paths: the airflow openings, cracks, fans and system connections between two zones
// or a zone and the ambient.
#include "project/components.h"
#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/heap.h"
#include "support/nxt.h"

// -1 is the ambient (no zone record).
static Zone* path_zone(FlowmirState* fms, int zoneNr, int pathNr)
{
    if (zoneNr == -1) return nullptr;
    if (comp_check_ref(fms, zoneNr, 1, fms->nzone, "Invalid zone number, path", pathNr))
        return fms->ZnLst[zoneNr];
    return nullptr;
}

static void path_read_record(FlowmirState* fms, Path* p, int cirdal)
{
    char word[4096];
    int nr = p->nr;
    p->flags = readU2(fms, 0) & PTH_MASK;
    p->zoneNrN = readIX(fms, 0);
    p->zoneN = path_zone(fms, p->zoneNrN, nr);
    p->zoneNrM = readIX(fms, 0);
    p->zoneM = path_zone(fms, p->zoneNrM, nr);
    // A link from a node to itself would add its flow twice to one matrix entry.
    if (p->zoneNrN == p->zoneNrM)
        errorf(fms, ERROR, __FILE__, __LINE__, "Path %d joins zone %d to itself", nr, p->zoneNrN);

    int afeNr = readIX(fms, 0);
    if (!(p->flags & PTH_IMPLICIT)) { // system paths take their model from the system
        p->afeNr = afeNr;
        if (comp_check_ref(fms, afeNr, 1, fms->nafe, "Invalid flow element number, path", nr))
            p->afe = fms->AfeLst[afeNr];
    }
    p->fltNr = readIX(fms, 0);
    comp_check_ref(fms, p->fltNr, 0, fms->nflt, "Invalid filter number, path", nr);
    p->wpfNr = readIX(fms, 0);
    if (comp_check_ref(fms, p->wpfNr, 0, fms->nwpf, "Invalid wind profile number, path", nr) && p->wpfNr > 0)
        p->wpf = fms->WpfLst[p->wpfNr];
    p->ahsNr = readIX(fms, 0);
    if (p->flags & PTH_AHS) {
        if (comp_check_ref(fms, p->ahsNr, 1, fms->nahs, "Invalid AHS number, path", nr))
            p->ahs = fms->AhsLst[p->ahsNr];
    } else {
        comp_check_ref(fms, p->ahsNr, 0, 0, "Invalid AHS number, path", nr);
    }
    p->wshNr = readIX(fms, 0);
    comp_check_ref(fms, p->wshNr, 0, fms->nwsh, "Invalid week-schedule number, path", nr);
    p->ctrlNr = readIX(fms, 0);
    comp_check_ref(fms, p->ctrlNr, 0, fms->nctrl, "Invalid control node number, path", nr);
    p->levNr = readIX(fms, 0);
    if (comp_check_ref(fms, p->levNr, 1, fms->nlev, "Invalid level number, path", nr))
        p->level = fms->LevLst[p->levNr];

    p->x = readR4(fms, 0);
    p->y = readR4(fms, 0);
    p->relHt = readR4(fms, 0);
    p->hgt = (p->level ? p->level->elevation : 0.0f) + p->relHt;
    p->mult = readR4(fms, 0);
    p->windConst = readR4(fms, 0);
    p->windMod = readR4(fms, 0);
    p->azimuth = readR4(fms, 0);
    p->designFlow = readR4(fms, 0);
    readR4(fms, 0);
    readR4(fms, 0);
    for (int k = 0; k < 7; k++)
        readI2(fms, 0);
    p->vfType = comp_read_value_file(fms, p->vfKey);
    if (readI2(fms, 0) == 1) {
        p->cfd = 1;
        nxtwrd(fms, p->cfdKey, 0, COMP_KEY_LEN);
        for (int k = 0; k < 3; k++)
            p->cfdData[k] = readI2(fms, 0);
    }
    p->msrc = comp_value_source(p->ctrlNr, p->vfType, p->wshNr);
    if (cirdal) nxtwrd(fms, word, 4, sizeof word);
}

int path_read(FlowmirState* fms, MemBlock** pool, int cirdal)
{
    int n = comp_read_count(fms, "Path");
    fms->npath = n;
    fms->PthLst = n > 0 ? alc_vt<Path*>(fms, 1, n, "PthLst") : nullptr;
    for (int i = 1; i <= n; i++) {
        Path* p = alc_ect<Path>(fms, pool, "path");
        fms->PthLst[i] = p;
        p->nr = i;
        if (prj_record_number(fms, "Path", i)) break;
        path_read_record(fms, p, cirdal);
        if (prj_errors(fms) > 0) break;
    }
    prj_section_end(fms, "Path");
    return n;
}
