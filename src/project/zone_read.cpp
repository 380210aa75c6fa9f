// Zones, the well-mixed rooms of the network, and their initial mass fractions.
#include <cstring>

#include "project/components.h"
#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/heap.h"
#include "support/nxt.h"

static void zone_read_record(FlowmirState* fms, Zone* z, int cirdal)
{
    char word[4096];
    int nr = z->nr;
    z->flags = readU2(fms, 0) & ZF_MASK;
    z->wshNr = readIX(fms, 0);
    comp_check_ref(fms, z->wshNr, 0, fms->nwsh, "Invalid schedule number, zone", nr);
    z->ctrlNr = readIX(fms, 0);
    comp_check_ref(fms, z->ctrlNr, 0, fms->nctrl, "Invalid control node number, zone", nr);
    z->knrNr = readIX(fms, 0);
    comp_check_ref(fms, z->knrNr, 0, fms->nknr, "Invalid reaction number, zone", nr);
    z->levNr = readIX(fms, 0);
    if (comp_check_ref(fms, z->levNr, 1, fms->nlev, "Invalid level number, zone", nr))
        z->level = fms->LevLst[z->levNr];
    z->relHt = readR4(fms, 0);
    z->hgt = (z->level ? z->level->elevation : 0.0f) + z->relHt;
    z->Vol = readR4(fms, 0);
    z->T = readR4(fms, 0);
    // A zero or negative absolute temperature makes the air density infinite or negative.
    if (!(z->T > 0.0f)) errorf(fms, ERROR, __FILE__, __LINE__, "Invalid temperature, zone %d", nr);
    z->P = readR4(fms, 0);
    nxtwrd(fms, z->name, 0, ZONE_NAME_LEN);
    for (int k = 0; k < 5; k++)
        readI2(fms, 0);
    z->cdzRead = readI2(fms, 0) != 0;
    z->vfType = comp_read_value_file(fms, z->vfKey);
    if (readI2(fms, 0) == 1) {
        z->cfd = 1;
        nxtwrd(fms, z->cfdKey, 0, COMP_KEY_LEN);
    }
    if (z->cdzRead) {
        nxtwrd(fms, word, 0, sizeof word);
        for (int k = 0; k < 3; k++)
            z->cdzP1[k] = readR4(fms, 0);
        for (int k = 0; k < 3; k++)
            z->cdzP2[k] = readR4(fms, 0);
        z->cdzDx = readR4(fms, 0);
        z->cdzDax = readR4(fms, 0);
        readI2(fms, 0);
        readI2(fms, 0);
    }
    z->cdz = z->cdzRead && fms->cdzOn;
    z->tsrc = comp_value_source(z->ctrlNr, z->vfType, z->wshNr);
    if (cirdal) nxtwrd(fms, word, 4, sizeof word);
}

// Zone i's values start at i*nctm; the first nctm belong to the ambient.
static void zone_cc_read(FlowmirState* fms)
{
    int nctm = fms->nctm;
    int n = readIX(fms, 1);
    if (n != fms->nzone * nctm) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Zones*contaminant count mis-match: %d", n);
    } else if (nctm > 0) {
        int size = nctm * (fms->nzone + 1);
        fms->nMfZ = size;
        fms->MfZ = alc_vt<double>(fms, 0, size - 1, "MfZ");
        fms->MfZi = alc_vt<double>(fms, 0, size - 1, "MfZi");
        comp_read_massfractions(fms, "Zone", fms->nzone, fms->MfZ, 1, "Zone initial mass fraction(s) < 0");
        memcpy(fms->MfZi, fms->MfZ, sizeof(double) * size);
    }
    prj_section_end(fms, "Zone CC");
}

int zone_read(FlowmirState* fms, MemBlock** pool, int cirdal)
{
    int n = comp_read_count(fms, "Zone");
    fms->nzone = n;
    fms->ZnLst = n > 0 ? alc_vt<Zone*>(fms, 1, n, "ZnLst") : nullptr;
    for (int i = 1; i <= n; i++) {
        Zone* z = alc_ect<Zone>(fms, pool, "zone");
        fms->ZnLst[i] = z;
        z->nr = i;
        if (prj_record_number(fms, "Zone", i)) break;
        zone_read_record(fms, z, cirdal);
        if (prj_errors(fms) > 0) break;
    }
    prj_section_end(fms, "Zone");
    if (prj_errors(fms) == 0) zone_cc_read(fms);
    return n;
}
