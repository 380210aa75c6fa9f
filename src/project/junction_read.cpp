// Duct junctions and terminals, their initial mass fractions, and the link from each
// junction to its duct segment once the ducts are known.
#include <cstring>

#include "project/components.h"
#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/heap.h"
#include "support/nxt.h"

static void jct_read_terminal(FlowmirState* fms, Junction* j)
{
    char word[4096];
    int nr = j->nr;
    nxtwrd(fms, word, 0, sizeof word);
    j->fltNr = readIX(fms, 0);
    comp_check_ref(fms, j->fltNr, 0, fms->nflt, "Invalid filter number, junction", nr);
    j->wpfNr = readIX(fms, 0);
    if (comp_check_ref(fms, j->wpfNr, 0, fms->nwpf, "Invalid wind profile number, junction", nr) &&
        j->wpfNr > 0)
        j->wpf = fms->WpfLst[j->wpfNr];
    j->windConst = readR4(fms, 0);
    j->windMod = readR4(fms, 0);
    j->azimuth = readR4(fms, 0);
    j->bal = readI2(fms, 0);
    j->area = readR4(fms, 0);
    readR4(fms, 0);
    j->Fdes = readR4(fms, 0);
    j->loss1 = readR4(fms, 0);
    j->loss2 = readR4(fms, 0);
    readR4(fms, 0);
    for (int k = 0; k < 4; k++)
        readI2(fms, 0);
}

static void jct_read_record(FlowmirState* fms, Junction* j, int cirdal)
{
    char word[4096];
    int nr = j->nr;
    j->flags = readU2(fms, 0);
    j->terminal = readI2(fms, 0) > 0;
    j->zoneNr = readIX(fms, 0);
    if (j->zoneNr != -1 && comp_check_ref(fms, j->zoneNr, 1, fms->nzone, "Invalid zone number, junction", nr))
        j->zone = fms->ZnLst[j->zoneNr];
    j->dctNr = readIX(fms, 0); // checked once the ducts are read
    j->knrNr = readIX(fms, 0);
    comp_check_ref(fms, j->knrNr, 0, fms->nknr, "Invalid reaction number, junction", nr);
    j->wshNr = readIX(fms, 0);
    comp_check_ref(fms, j->wshNr, 0, fms->nwsh, "Invalid schedule number, junction", nr);
    j->ctrlNr = readIX(fms, 0);
    comp_check_ref(fms, j->ctrlNr, 0, fms->nctrl, "Invalid control node number, junction", nr);
    j->levNr = readIX(fms, 0);
    if (comp_check_ref(fms, j->levNr, 1, fms->nlev, "Invalid level number, junction", nr))
        j->level = fms->LevLst[j->levNr];
    j->x = readR4(fms, 0);
    j->y = readR4(fms, 0);
    j->relHt = readR4(fms, 0);
    j->hgt = (j->level ? j->level->elevation : 0.0f) + j->relHt;
    j->T = readR4(fms, 0);
    if (!(j->T > 0.0f)) errorf(fms, ERROR, __FILE__, __LINE__, "Invalid temperature, junction %d", nr);
    readR4(fms, 0);
    for (int k = 0; k < 6; k++)
        readI2(fms, 0);
    j->vfType = comp_read_value_file(fms, j->vfKey);
    if (j->terminal) jct_read_terminal(fms, j);
    j->tsrc = comp_value_source(j->ctrlNr, j->vfType, j->wshNr);
    if (cirdal) nxtwrd(fms, word, 4, sizeof word);
}

// Junction j's values start at (j - 1)*nctm.
static void jct_cc_read(FlowmirState* fms)
{
    int n = readIX(fms, 1);
    if (n != fms->njct * fms->nctm) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Junctions*contaminant count mis-match: %d", n);
    } else if (n > 0) {
        fms->nMfJ = n;
        fms->MfJ = alc_vt<double>(fms, 0, n - 1, "MfJ");
        fms->MfJi = alc_vt<double>(fms, 0, n - 1, "MfJi");
        comp_read_massfractions(fms, "Junction", fms->njct, fms->MfJ, 0,
                                "Junction initial mass fraction(s) < 0");
        memcpy(fms->MfJi, fms->MfJ, sizeof(double) * n);
    }
    prj_section_end(fms, "Duct Junction CC");
}

int jct_read(FlowmirState* fms, MemBlock** pool, int cirdal)
{
    int n = comp_read_count(fms, "Duct Junction");
    fms->njct = n;
    fms->JctLst = n > 0 ? alc_vt<Junction*>(fms, 1, n, "JctLst") : nullptr;
    for (int i = 1; i <= n; i++) {
        Junction* j = alc_ect<Junction>(fms, pool, "jct");
        fms->JctLst[i] = j;
        j->nr = i;
        if (prj_record_number(fms, "Junction", i)) break;
        jct_read_record(fms, j, cirdal);
        if (prj_errors(fms) > 0) break;
    }
    prj_section_end(fms, "Duct Junction");
    if (prj_errors(fms) == 0) jct_cc_read(fms);
    return n;
}

// An unchecked duct number would index past the duct list.
void jct_link_ducts(FlowmirState* fms)
{
    for (int i = 1; i <= fms->njct; i++) {
        Junction* j = fms->JctLst ? fms->JctLst[i] : nullptr;
        if (!j) continue;
        j->duct = nullptr;
        if (j->dctNr == 0) continue;
        if (j->dctNr < 0 || j->dctNr > fms->ndct || !fms->DctLst) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Invalid duct number, junction %d", i);
            continue;
        }
        j->duct = fms->DctLst[j->dctNr];
    }
}
