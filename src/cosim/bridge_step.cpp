// The exchange at the points the server chose: the selected results, the ready message, the
// service until the next advance; and the end of a bridged run.
#include "controls/ctrl.h"
#include "cosim/bridge.h"
#include "cosim/cosim.h"
#include "flowmir/fmi.h"
#include "network/airnet.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"

enum { DAY = 86400 };

// Update bits of the advance message.
enum {
    UPD_CONC = 0x02,
    UPD_PATH = 0x04,
    UPD_AHSP = 0x08,
    UPD_DUCT = 0x10,
    UPD_TERM = 0x20,
    UPD_LEAK = 0x40,
    UPD_CTRL = 0x80,
};

void bridge_runUntil(int s, int* day, int* time)
{
    if (s <= 0) {
        // The start of the run: nothing may be stepped.
        *day = 1;
        *time = 0;
        return;
    }
    *day = s % DAY == 0 ? s / DAY : s / DAY + 1;
    *time = s % DAY == 0 ? DAY : s % DAY;
}

// Seconds since the midnight that began the run's first day.
static long long runSeconds(int day, int time)
{
    return (long long)(day - 1) * DAY + time;
}

static bool mayStep(const FlowmirState* fms)
{
    const BridgeState& b = fms->bridge;
    return runSeconds(fms->dayCount, fms->stepEndTime) < runSeconds(b.runUntilDay, b.runUntilTime);
}

static bool periodOver(const FlowmirState* fms)
{
    return fms->dayofy == fms->endDate && fms->stepEndTime >= fms->endTime;
}

// --- the updates ----------------------------------------------------------------------------

static void start(FlowmirState* fms, BridgeOut* o, int type)
{
    BridgeState& b = fms->bridge;
    bout_start(o, b.msgbuf, b.bufsize, type);
    bout_int(o, fms->stepEndTime);
}

// Dry air at the node's temperature: system paths and terminals.
static float downstreamDensity(const FlowmirState* fms, const AirLink* l)
{
    const AirNode* down = l->dP >= 0.0 ? l->nodeM : l->nodeN;
    return (float)(fms->Pambt / (287.0 * down->T * 1.0000160776865938));
}

static float flowOut(const FlowmirState* fms, const AirLink* l, bool downstream)
{
    if (!fms->bridge.useVolumeFlows) return (float)l->Flow[0];
    if (downstream) return (float)(l->Flow[0] / downstreamDensity(fms, l));
    return (float)(l->Flow[0] / l->nodeN->rho);
}

static void sendConc(FlowmirState* fms, int agent)
{
    BridgeOut o;
    start(fms, &o, CONC_UPDATE_MSG);
    bout_int(&o, agent);
    const FlowmirState::CosimLists& c = fms->cosimLists;
    for (int i = 1; agent > 0 && i <= c.nzone; i++)
        bout_float(&o, c.zones[i]->Mf ? (float)c.zones[i]->Mf[agent - 1] : 0.0f);
    bout_send_padded(fms, &o);
}

static void sendPathFlows(FlowmirState* fms)
{
    BridgeState& b = fms->bridge;
    BridgeOut o;
    start(fms, &o, PATH_FLOW_UPDATE_MSG);
    // The in-process getter gives the volume flows a host would read.
    for (int d = 0; d < 2; d++)
        for (int i = 1; i <= b.npath; i++) {
            double F[2] = {0.0, 0.0};
            fmiGetPathFlows(fms, b.pathList[i]->s_nr, &F[0], &F[1]);
            bout_float(&o, (float)F[d]);
        }
    bout_send_padded(fms, &o);
}

static void sendLinkFlows(FlowmirState* fms, int type, AirLink** links, int n, bool downstream)
{
    BridgeOut o;
    start(fms, &o, type);
    for (int i = 1; i <= n; i++) bout_float(&o, flowOut(fms, links[i], downstream));
    bout_send_padded(fms, &o);
}

static void sendUpdates(FlowmirState* fms)
{
    BridgeState& b = fms->bridge;
    const FlowmirState::CosimLists& c = fms->cosimLists;
    int bits = b.options;
    if (bits == 0) sendConc(fms, 0);
    if (bits & UPD_CONC)
        for (int k = 1; k <= fms->nctm; k++) sendConc(fms, k);
    if (bits & UPD_PATH) sendPathFlows(fms);
    if (bits & UPD_AHSP) sendLinkFlows(fms, AHSP_FLOW_UPDATE_MSG, b.pathList ? b.pathList + b.npath : nullptr, b.nahsp, true);
    if (bits & UPD_DUCT) sendLinkFlows(fms, DUCT_FLOW_UPDATE_MSG, b.ductList, b.ndct, false);
    if (bits & UPD_TERM) sendLinkFlows(fms, TERM_FLOW_UPDATE_MSG, c.terms, c.nterm, true);
    if (bits & UPD_LEAK) sendLinkFlows(fms, LEAK_FLOW_UPDATE_MSG, c.leaks, c.nleak, false);
    if (bits & UPD_CTRL) {
        BridgeOut o;
        start(fms, &o, CTRL_NODE_UPDATE_MSG);
        for (int i = 1; i <= c.nonode; i++) bout_float(&o, c.onodes[i]->out);
        bout_send_padded(fms, &o);
    }
}

// --- the check ------------------------------------------------------------------------------

// Serves the server until it lets the run advance; false once the bridge has ended.
static bool serve(FlowmirState* fms)
{
    BridgeState& b = fms->bridge;
    int s = bridge_ReadDataFromSocket(fms);
    if (b.state != 2) return false;
    bridge_runUntil(s, &b.runUntilDay, &b.runUntilTime);
    return true;
}

void bridge_CheckForMessages(FlowmirState* fms)
{
    BridgeState& b = fms->bridge;
    if (b.state != 2 || mayStep(fms)) return;
    sendUpdates(fms);
    BridgeOut o;
    start(fms, &o, FM_READY_MSG);
    bout_send(fms, &o);
    if (!serve(fms)) return;
    // An advance to a point already reached asks for nothing: wait for the next one, unless
    // the run has nothing left to step.
    while (!mayStep(fms) && !periodOver(fms))
        if (!serve(fms)) return;
}

// --- the end --------------------------------------------------------------------------------

// The closing messages need no buffer of the run: they may go before it exists.
int bridge_SendFmError(FlowmirState* fms, int code)
{
    uint8_t buf[24];
    BridgeOut o;
    bout_start(&o, buf, sizeof buf, FM_ERROR_MSG);
    bout_int(&o, code);
    return bout_send(fms, &o);
}

int bridge_SendFmSimEnd(FlowmirState* fms)
{
    uint8_t buf[BRIDGE_HEADER];
    BridgeOut o;
    bout_start(&o, buf, sizeof buf, FM_ENDSIM_MSGTYPE);
    return bridge_SendLast(fms, buf, bout_finish(fms, &o));
}

void bridge_FreeBuffers(FlowmirState* fms)
{
    BridgeState& b = fms->bridge;
    fre_vt(fms, b.msgbuf, 0, b.bufsize - 1);
    fre_vt(fms, b.pathList, 1, fms->nafpt);
    fre_vt(fms, b.ductList, 1, b.ndct);
    fre_vt(fms, b.envList, 1, b.num_envp);
    fre_vt(fms, b.ctmList, 1, b.nagent);
    b.bufsize = 0;
}

void bridge_EndRun(FlowmirState* fms, int status)
{
    BridgeState& b = fms->bridge;
    if (b.sockOpen) {
        if (status == 0)
            bridge_SendFmSimEnd(fms);
        else
            bridge_SendFmError(fms, 0);
        bridge_CloseSocket(fms);
    }
    if (b.state == 2) b.state = 1;
    if (status == 0) bridge_FreeBuffers(fms);
}

void bridge_ProjectRead(FlowmirState* fms)
{
    if (fms->bridge.state != 2 || !fms->wpcUse) return;
    error(fms, WARNING, __FILE__, __LINE__,
          "Bridge: the wind pressure and contaminant file is not used; the server gives the envelope conditions", "");
    fms->_useWPCwp = fms->_useWPCmf = fms->wpcUse = 0;
}
