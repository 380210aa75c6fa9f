// The information messages that describe the building to the server, sent once right after
// network assembly while the project's tables still exist, and the lists the per-step
// exchange uses in the order the server learnt them.
#include <algorithm>
#include <cstring>

#include "airflow/afe.h"
#include "controls/ctrl.h"
#include "cosim/bridge.h"
#include "cosim/cosim.h"
#include "network/airnet.h"
#include "project/components.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"
#include "transport/species.h"

enum { SYSTEM_BITS = PTH_AHS | PTH_AHR | PTH_AHO | PTH_AHX };

static bool systemPath(const Path* p)
{
    return (p->flags & SYSTEM_BITS) != 0;
}

// Zone numbers on the wire: 0 for the ambient.
static int zoneNr(int nr)
{
    return nr < 0 ? 0 : nr;
}

void bridge_CreatePathList(FlowmirState* fms)
{
    BridgeState& b = fms->bridge;
    // The host lists of the in-process interface serve the bridge as well.
    if (!fms->cosim) setup_cosim_lists(fms);
    const FlowmirState::CosimLists& c = fms->cosimLists;
    b.npath = b.nahsp = 0;
    for (int i = 1; i <= c.npath; i++) (systemPath(fms->PthLst[i]) ? b.nahsp : b.npath)++;
    if (fms->nafpt > 0) b.pathList = alc_vt<AirLink*>(fms, 1, fms->nafpt, "bridge_path_list");
    int k = 0;
    for (int pass = 0; pass < 2; pass++)
        for (int i = 1; i <= c.npath; i++)
            if (systemPath(fms->PthLst[i]) == (pass == 1)) b.pathList[++k] = c.paths[i];
    b.ndct = 0;
    for (AirLink* l = fms->linkList; l; l = l->next) b.ndct += l->styp == LINK_DUCT;
    if (b.ndct > 0) {
        b.ductList = alc_vt<AirLink*>(fms, 1, b.ndct, "bridge_duct_list");
        k = 0;
        for (AirLink* l = fms->linkList; l; l = l->next)
            if (l->styp == LINK_DUCT) b.ductList[++k] = l;
    }
    b.nafe = fms->nafe;
    b.nterm = c.nterm;
    b.nleak = c.nleak;
    b.ninode = c.ninode;
    b.nonode = c.nonode;
    b.nagent = fms->nctm;
    if (b.nagent > 0) b.ctmList = alc_vt<int>(fms, 1, b.nagent, "bridge_ctm_list");
    // Every path or terminal that opens to the ambient takes an envelope entry.
    int nenvp = 0;
    for (int i = 1; i <= b.npath + b.nahsp; i++) nenvp += b.pathList[i]->envIdx != 0;
    for (int i = 1; i <= c.nterm; i++) nenvp += c.terms[i]->envIdx != 0;
    if (nenvp > 0) b.envList = alc_vt<int>(fms, 1, nenvp, "bridge_env_list");
}

// Info messages are built in one scratch buffer large enough for any of them.
static int infoSize(const FlowmirState* fms)
{
    const BridgeState& b = fms->bridge;
    int n = std::max({fms->nzone, b.npath, b.nahsp, fms->njct, b.nterm, b.nleak, b.ndct, fms->nahs, fms->nctm,
                      b.nafe, b.ninode, b.nonode, 1});
    return 24 + n * (8 * 4 + ZONE_NAME_LEN + 1) + (int)sizeof fms->_prjname + 4;
}

static void takeEnvelopeEntry(FlowmirState* fms, int envIdx)
{
    BridgeState& b = fms->bridge;
    if (envIdx != 0 && b.envList) b.envList[++b.num_envp] = envIdx;
}

static void sendCount(BridgeOut* o, int type, int n)
{
    bout_start(o, o->buf, o->size, type);
    bout_int(o, n);
}

static void pathInfo(FlowmirState* fms, BridgeOut* o)
{
    BridgeState& b = fms->bridge;
    sendCount(o, PATH_INFO_MSG, b.npath);
    AirLink** L = b.pathList;
    for (int i = 1; i <= b.npath; i++) bout_int(o, L[i]->s_nr);
    for (int i = 1; i <= b.npath; i++) {
        bout_int(o, L[i]->envIdx);
        takeEnvelopeEntry(fms, L[i]->envIdx);
    }
    for (int i = 1; i <= b.npath; i++) bout_int(o, fms->PthLst[L[i]->s_nr]->afeNr);
    for (int i = 1; i <= b.npath; i++) bout_int(o, zoneNr(fms->PthLst[L[i]->s_nr]->zoneNrN));
    for (int i = 1; i <= b.npath; i++) bout_int(o, zoneNr(fms->PthLst[L[i]->s_nr]->zoneNrM));
    for (int i = 1; i <= b.npath; i++) bout_float(o, L[i]->x);
    for (int i = 1; i <= b.npath; i++) bout_float(o, L[i]->y);
    for (int i = 1; i <= b.npath; i++) bout_float(o, L[i]->Z);
    bout_send(fms, o);
}

// Kind of a system path: 0 return, 1 supply, 2 recirculation, 3 outdoor air, 4 exhaust,
// -1 a supply or return path between two ordinary nodes; and the zone it serves.
static int systemKind(const Path* p, const AirLink* l, int* zone)
{
    *zone = 0;
    if (p->flags & PTH_AHR) return 2;
    if (p->flags & PTH_AHO) return 3;
    if (p->flags & PTH_AHX) return 4;
    if (l->nodeM->flags & NF_AHS) {
        *zone = zoneNr(p->zoneNrN);
        return 0;
    }
    if (l->nodeN->flags & NF_AHS) {
        *zone = zoneNr(p->zoneNrM);
        return 1;
    }
    *zone = -1;
    return -1;
}

static void ahspInfo(FlowmirState* fms, BridgeOut* o)
{
    BridgeState& b = fms->bridge;
    const FlowmirState::CosimLists& c = fms->cosimLists;
    AirLink** L = b.pathList + b.npath;
    sendCount(o, AHSP_INFO_MSG, b.nahsp);
    int zone[2];
    for (int i = 1; i <= b.nahsp; i++) bout_int(o, L[i]->s_nr);
    for (int i = 1; i <= b.nahsp; i++) {
        bout_int(o, L[i]->envIdx);
        takeEnvelopeEntry(fms, L[i]->envIdx);
    }
    for (int i = 1; i <= b.nahsp; i++) bout_int(o, systemKind(fms->PthLst[L[i]->s_nr], L[i], zone));
    for (int i = 1; i <= b.nahsp; i++) {
        systemKind(fms->PthLst[L[i]->s_nr], L[i], zone);
        bout_int(o, zone[0]);
    }
    for (int i = 1; i <= b.nahsp; i++) bout_int(o, c.pathAhs ? c.pathAhs[L[i]->s_nr] : 0);
    for (int i = 1; i <= b.nahsp; i++) bout_float(o, L[i]->x);
    for (int i = 1; i <= b.nahsp; i++) bout_float(o, L[i]->y);
    for (int i = 1; i <= b.nahsp; i++) bout_float(o, L[i]->Z);
    if (fms->echo > 0) {
        static const char* const kinds[] = {"-", "ret", "sup", "rec", "out", "exh"};
        for (int i = 1; i <= b.nahsp; i++)
            LOG(fms, "Bridge: AHS path %d %s\n", L[i]->s_nr, kinds[systemKind(fms->PthLst[L[i]->s_nr], L[i], zone) + 1]);
    }
    bout_send(fms, o);
}

static void controlInfo(FlowmirState* fms, BridgeOut* o, int type, CtrlNode** nodes, int n)
{
    sendCount(o, type, n);
    for (int i = 1; i <= n; i++) bout_int(o, nodes[i]->nr);
    for (int i = 1; i <= n; i++) bout_float(o, nodes[i]->out);
    for (int i = 1; i <= n; i++) bout_string(o, nodes[i]->name);
    bout_send(fms, o);
}

static void zoneInfo(FlowmirState* fms, BridgeOut* o)
{
    const FlowmirState::CosimLists& c = fms->cosimLists;
    sendCount(o, ZONE_INFO_MSG, c.nzone);
    for (int i = 1; i <= c.nzone; i++) bout_int(o, fms->ZnLst[i]->levNr);
    for (int i = 1; i <= c.nzone; i++) bout_int(o, (fms->ZnLst[i]->flags & ZF_AHS) ? 1 : 0);
    for (int i = 1; i <= c.nzone; i++) bout_float(o, c.zones[i]->V);
    for (int i = 1; i <= c.nzone; i++) bout_string(o, fms->ZnLst[i]->name);
    bout_send(fms, o);
}

static void junctionInfo(FlowmirState* fms, BridgeOut* o)
{
    sendCount(o, JCT_INFO_MSG, fms->njct);
    for (int j = 1; j <= fms->njct; j++) bout_int(o, fms->JctLst[j]->terminal ? 1 : 0);
    for (int j = 1; j <= fms->njct; j++) bout_int(o, zoneNr(fms->JctLst[j]->zoneNr));
    bout_send(fms, o);
}

static void terminalInfo(FlowmirState* fms, BridgeOut* o)
{
    const FlowmirState::CosimLists& c = fms->cosimLists;
    sendCount(o, TERM_INFO_MSG, c.nterm);
    for (int i = 1; i <= c.nterm; i++) bout_int(o, c.terms[i]->s_nr);
    for (int i = 1; i <= c.nterm; i++) {
        bout_int(o, c.terms[i]->envIdx);
        takeEnvelopeEntry(fms, c.terms[i]->envIdx);
    }
    for (int i = 1; i <= c.nterm; i++) bout_float(o, c.terms[i]->x);
    for (int i = 1; i <= c.nterm; i++) bout_float(o, c.terms[i]->y);
    for (int i = 1; i <= c.nterm; i++) bout_float(o, c.terms[i]->Z);
    bout_send(fms, o);
}

static void numberInfo(FlowmirState* fms, BridgeOut* o, int type, AirLink** links, int n)
{
    sendCount(o, type, n);
    for (int i = 1; i <= n; i++) bout_int(o, links[i]->s_nr);
    bout_send(fms, o);
}

void bridge_SendInfoMessages(FlowmirState* fms)
{
    BridgeState& b = fms->bridge;
    const FlowmirState::CosimLists& c = fms->cosimLists;
    int size = infoSize(fms);
    uint8_t* buf = alc_vt<uint8_t>(fms, 0, size - 1, "bridge_info_buf");
    BridgeOut o = {buf, size, 0};
    b.num_envp = 0;

    bout_start(&o, buf, size, BLDG_INFO_MSG);
    bout_string(&o, fms->_prjname);
    bout_send(fms, &o);

    bout_start(&o, buf, size, SIMPARM_INFO_MSG);
    for (int v : {fms->dayofy, fms->endDate, fms->stepStartTime, fms->endTime, fms->time_step}) bout_int(&o, v);
    bout_send(fms, &o);

    sendCount(&o, AGENT_INFO_MSG, fms->nctm);
    for (int k = 1; k <= fms->nctm; k++) bout_int(&o, k);
    for (int k = 0; k < fms->nctm; k++) bout_string(&o, fms->ctm[k].name);
    bout_send(fms, &o);

    sendCount(&o, ELEMENT_INFO_MSG, b.nafe);
    for (int i = 1; i <= b.nafe; i++) bout_string(&o, fms->AfeLst[i]->name);
    bout_send(fms, &o);

    controlInfo(fms, &o, INPUT_CTRL_INFO_MSG, c.inodes, c.ninode);
    controlInfo(fms, &o, OUTPUT_CTRL_INFO_MSG, c.onodes, c.nonode);
    pathInfo(fms, &o);
    ahspInfo(fms, &o);

    sendCount(&o, AHS_INFO_MSGTYPE, fms->nahs);
    for (int a = 1; a <= fms->nahs; a++) bout_int(&o, fms->AhsLst[a]->nr);
    for (int a = 1; a <= fms->nahs; a++) bout_string(&o, fms->AhsLst[a]->name);
    bout_send(fms, &o);

    zoneInfo(fms, &o);
    junctionInfo(fms, &o);
    terminalInfo(fms, &o);
    numberInfo(fms, &o, LEAK_INFO_MSG, c.leaks, c.nleak);
    numberInfo(fms, &o, DUCT_INFO_MSG, b.ductList, b.ndct);

    bout_start(&o, buf, size, FM_READY_MSG);
    bout_int(&o, fms->stepEndTime);
    bout_send(fms, &o);
    fre_vt(fms, buf, 0, size - 1);

    if (fms->echo > 0 && fms->nenv != b.num_envp) LOG(fms, "fms->nEnvPaths_Wpc != fms->bridge.num_envp\n");
    b.bufsize = bridge_bufferSize(fms);
    b.msgbuf = alc_vt<uint8_t>(fms, 0, b.bufsize - 1, "msgbuf");
    if (fms->echo > 1) LOG(fms, "Bridge: buffer size: %d\n", b.bufsize);
    logFlush(fms);
}

int bridge_bufferSize(const FlowmirState* fms)
{
    const BridgeState& b = fms->bridge;
    int nz = fms->nzone, agents = std::max(fms->nctm, 1);
    // Sent: the updates; received: every adjustment at its largest.
    return std::max({32 + 4 * nz, 28 + 8 * b.npath, 28 + 4 * b.nahsp, 28 + 4 * b.ndct, 28 + 4 * b.nterm,
                     28 + 4 * b.nleak, 28 + 4 * b.nonode, 40, 32 + 8 * nz, 24 + 8 * fms->njct,
                     24 + 8 * b.nahsp, 24 + 8 * fms->nahs, 32 + 4 * fms->nctm + 4 * b.num_envp * agents});
}
