// Releasing the component index arrays once network assembly has used them.
#include "project/components.h"
#include "support/heap.h"

void components_free_lists(FlowmirState* fms)
{
    if (fms->AhsLst) fre_vt(fms, fms->AhsLst, 1, fms->nahs);
    if (fms->ZnLst) fre_vt(fms, fms->ZnLst, 1, fms->nzone);
    if (fms->PthLst) fre_vt(fms, fms->PthLst, 1, fms->npath);
    if (fms->JctLst) fre_vt(fms, fms->JctLst, 1, fms->njct);
    if (fms->DctLst) fre_vt(fms, fms->DctLst, 1, fms->ndct);
}
