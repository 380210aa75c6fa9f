// Control value resolution: the value a zone's or junction's temperature, a link's multiplier
// or a source's scale follows, by precedence a control node's output, a value-file column, a
// week schedule's value. The target keeps a pointer, so the owners' updates reach it in place.
#include "network/sim_values.h"

#include "controls/ctrl.h"
#include "controls/schedule.h"
#include "controls/valfile.h"
#include "project/components.h"

float* sim_value_pointer(FlowmirState* fms, int ctrlNr, int vfType, const char* key, int wshNr, float* none)
{
    if (ctrlNr > 0 && ctrlNr <= fms->nctrl && fms->CtLst && fms->CtLst[ctrlNr]) return &fms->CtLst[ctrlNr]->out;
    if (vfType == VFILE_CVF || vfType == VFILE_DVF) {
        float* p = none;
        vf_link(fms, &p, vfType, key);
        return p;
    }
    if (wshNr > 0 && wshNr <= fms->nwsh && fms->WshLst && fms->WshLst[wshNr]) {
        fms->WshLst[wshNr]->useCount++;
        return &fms->WshLst[wshNr]->value;
    }
    return none;
}
