// Levels: the floors whose elevations zones, paths and junctions measure their heights from.
#include "project/components.h"
#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/heap.h"
#include "support/nxt.h"

int lev_read(FlowmirState* fms, MemBlock** pool)
{
    int n = readIX(fms, 1);
    if (n > nxt_remaining(fms)) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid record count in %s section: %d", "Level", n);
        n = 0;
    }
    fms->nlev = n;
    fms->levels = nullptr;
    // Created whatever the count: a project without levels cannot place anything.
    fms->LevLst = alc_vt<Level*>(fms, 1, n, "LevLst");
    Level* last = nullptr;
    for (int i = 1; i <= n; i++) {
        Level* lev = alc_ect<Level>(fms, pool, "level");
        fms->LevLst[i] = lev;
        if (last)
            last->next = lev;
        else
            fms->levels = lev;
        last = lev;
        lev->nr = i;
        if (prj_record_number(fms, "Level", i)) break;
        lev->elevation = readR4(fms, 0);
        readR4(fms, 0);
        lev->nicon = readIX(fms, 0);
        readI2(fms, 0);
        readI2(fms, 0);
        nxtwrd(fms, lev->name, 0, COMP_NAME_LEN);
        for (int k = 0; k < lev->nicon; k++) {
            if (nxt_at_end(fms)) {
                errorf(fms, ERROR, __FILE__, __LINE__, "Level %d: end of file within its %d icons", i, lev->nicon);
                break;
            }
            readI2(fms, 1);
            readI2(fms, 0);
            readI2(fms, 0);
            readIX(fms, 0);
        }
        if (prj_errors(fms) > 0) break;
    }
    prj_section_end(fms, "Level");
    return n;
}

void levels_free_list(FlowmirState* fms)
{
    if (fms->LevLst) fre_vt(fms, fms->LevLst, 1, fms->nlev);
}
