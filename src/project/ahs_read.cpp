// Simple air-handling systems: each names the three paths network assembly joins to it.
#include "project/components.h"
#include "project/section.h"
#include "support/fields.h"
#include "support/heap.h"
#include "support/nxt.h"

int ahs_read(FlowmirState* fms, MemBlock** pool)
{
    int n = comp_read_count(fms, "AHS");
    fms->nahs = n;
    fms->AhsLst = n > 0 ? alc_vt<Ahs*>(fms, 1, n, "AhsLst") : nullptr;
    char line[4096];
    for (int i = 1; i <= n; i++) {
        Ahs* ahs = alc_ect<Ahs>(fms, pool, "ahs");
        fms->AhsLst[i] = ahs;
        ahs->nr = i;
        if (prj_record_number(fms, "System", i)) break;
        ahs->num1 = readIX(fms, 0);
        ahs->num2 = readIX(fms, 0);
        for (int k = 0; k < 3; k++)
            ahs->pathNr[k] = readIX(fms, 0);
        readI2(fms, 0);
        nxtwrd(fms, ahs->name, 0, COMP_NAME_LEN);
        nxtwrd(fms, line, 3, sizeof line); // description
        if (prj_errors(fms) > 0) break;
    }
    prj_section_end(fms, "AHS");
    return n;
}
