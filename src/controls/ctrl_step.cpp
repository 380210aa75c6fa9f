// Schedules and controls of one step: the local time and day type, the schedules, the control
// network, and the node temperatures they set.
#include "controls/ctrl.h"
#include "controls/ctrl_sig.h"
#include "controls/occupancy.h"
#include "controls/schedule.h"
#include "controls/valfile.h"
#include "network/airnet.h"
#include "support/error.h"

enum { DAY = 86400 };

// Below this the air density of a node would be absurd: such a value is a control fault.
static const float kTmin = 200.0f;

void ctrl_sim(FlowmirState* fms, int logFlag)
{
    for (CtrlNode* node = fms->ctrlSeq; node; node = node->next)
        if (node->sigFn) node->sigFn(fms, node);
    if (logFlag && ctrlLogOpen(fms) && ctrl_isListTime(fms)) set_ulogc_write(fms);
}

static void setNodeTemperatures(FlowmirState* fms)
{
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (!n->tctl || n == fms->ambt) continue;
        float T = *n->tctl;
        if (T >= kTmin) {
            n->T = T;
            if (fms->densZP) n->rho = (fms->Pambt + n->P) / (n->R * n->T);
        } else if (n->styp == NODE_ZONE) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Control attempting to set temperature of zone %d to %2g K.",
                   n->s_nr, (double)T);
        } else if (n->styp == NODE_JCT) {
            errorf(fms, ERROR, __FILE__, __LINE__,
                   "Control attempting to set temperature of junction %d to %2g K.", n->s_nr, (double)T);
        }
    }
}

void setSchedulesAndControls(FlowmirState* fms, int t, int logFlag)
{
    // Schedules run on local time; the hour after midnight of a daylight-saving day belongs to
    // the next weekday.
    int local = fms->dstFlag ? t + 3600 : t;
    int k = fms->dayType - 1;
    if (local > DAY) {
        local -= DAY;
        k = fms->dayOfWeek % 7;
    }
    // A value at a point's time belongs to the segment that ends there.
    wkScheds_seek(fms, k, local - 1);
    wkScheds_eval(fms, local);
    if (fms->ctrlSeq) ctrl_sim(fms, logFlag);
    if (fms->occupancyOn) setZoneOcc(fms, local, k);
    setNodeTemperatures(fms);
}

int haveCtrlNode_byType(const CtrlNode* list, int type)
{
    for (const CtrlNode* node = list; node; node = node->next)
        if (node->type == type) return 1;
    return 0;
}

int haveCtrlNode_usesListTime(FlowmirState* fms)
{
    return haveCtrlNode_byType(fms->ctrlSeq, CT_IRS) || haveCtrlNode_byType(fms->ctrlSeq, CT_ARS) ||
           ctrlLogOpen(fms);
}
