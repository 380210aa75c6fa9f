// The lists by which a host reaches the network: zones, paths, control nodes, terminals,
// junctions, leaks and each system's recirculation, made once right after assembly while the
// project's tables still exist, and the outdoor mass fractions a host may set per opening.
#include <cstring>
#include <utility>

#include "controls/ctrl.h"
#include "cosim/cosim.h"
#include "network/airnet.h"
#include "project/components.h"
#include "support/heap.h"

// Control nodes a host can address: the named ones of a type.
static bool hostNamed(const CtrlNode* c, int type)
{
    return c && c->type == type && c->name[0] && strcmp(c->name, "<none>") != 0;
}

static CtrlNode** controlList(FlowmirState* fms, int type, int* count, const char* label)
{
    int n = 0;
    for (int i = 1; fms->CtLst && i <= fms->nctrl; i++) n += hostNamed(fms->CtLst[i], type);
    *count = n;
    if (n == 0) return nullptr;
    CtrlNode** list = alc_vt<CtrlNode*>(fms, 1, n, label);
    int k = 0;
    for (int i = 1; i <= fms->nctrl; i++)
        if (hostNamed(fms->CtLst[i], type)) list[++k] = fms->CtLst[i];
    return list;
}

static AirLink** linkList(FlowmirState* fms, int styp, int* count, const char* label)
{
    int n = 0;
    for (AirLink* l = fms->linkList; l; l = l->next) n += l->styp == styp;
    *count = n;
    if (n == 0) return nullptr;
    AirLink** list = alc_vt<AirLink*>(fms, 1, n, label);
    int k = 0;
    for (AirLink* l = fms->linkList; l; l = l->next)
        if (l->styp == styp) list[++k] = l;
    return list;
}

// A supply or return path names its system; the recirculation, outdoor-air and exhaust paths
// are named by the system.
static int systemOf(const FlowmirState* fms, const Path* p)
{
    if (p->ahsNr > 0) return p->ahsNr;
    for (int a = 1; fms->AhsLst && a <= fms->nahs; a++)
        for (int k = 0; k < 3; k++)
            if (fms->AhsLst[a]->pathNr[k] == p->nr) return a;
    return 0;
}

static void pathLists(FlowmirState* fms, FlowmirState::CosimLists& l)
{
    l.npath = fms->npath;
    if (l.npath <= 0) return;
    l.paths = alc_vt<AirLink*>(fms, 1, l.npath, "cosim_path_list");
    l.pathFlags = alc_vt<uint16_t>(fms, 1, l.npath, "cosim_path_flags");
    l.pathAhs = alc_vt<int>(fms, 1, l.npath, "cosim_path_ahs");
    int i = 0;
    for (AirLink* k = fms->linkList; k && i < l.npath; k = k->next) l.paths[++i] = k;
    for (i = 1; fms->PthLst && i <= l.npath; i++) {
        l.pathFlags[i] = fms->PthLst[i]->flags;
        l.pathAhs[i] = systemOf(fms, fms->PthLst[i]);
    }
}

// The recirculation path of each system takes the host's outdoor-air fraction.
static void systemLists(FlowmirState* fms, FlowmirState::CosimLists& l)
{
    l.noap = fms->nahs;
    if (l.noap <= 0) return;
    l.oaps = alc_vt<AirLink*>(fms, 1, l.noap, "cosim_oap_list");
    l.oapValues = alc_vt<float>(fms, 1, l.noap, "cosim_oap_values");
    for (int i = 1; fms->PthLst && i <= l.npath; i++) {
        int a = l.pathAhs[i];
        if ((fms->PthLst[i]->flags & PTH_AHR) && a >= 1 && a <= l.noap && !l.oaps[a]) l.oaps[a] = l.paths[i];
    }
}

// Envelope entries by index, and the host's outdoor mass fractions when it sets the wind
// pressures (rows are taken into use by fmiSetEnvelopeMF; until then an opening sees the
// ambient's own mass fractions).
static void envelopeLists(FlowmirState* fms, FlowmirState::CosimLists& l)
{
    l.nenv = fms->nenv;
    if (l.nenv <= 0) return;
    l.env = alc_vt<AirLink*>(fms, 1, l.nenv, "cosim_env_list");
    for (AirLink* k = fms->linkList; k; k = k->next)
        if (k->envIdx >= 1 && k->envIdx <= l.nenv && !l.env[k->envIdx]) l.env[k->envIdx] = k;
    if (fms->_wPBridge && fms->nctm > 0 && !fms->_useWPCmf) {
        l.envMf = static_cast<double**>(alc_mc(fms, 1, l.nenv, 0, fms->nctm - 1, sizeof(double), "ENV_Mf"));
        for (int k = 1; k <= l.nenv; k++)
            if (fms->ambt && fms->ambt->Mf) memcpy(l.envMf[k], fms->ambt->Mf, sizeof(double) * fms->nctm);
    }
}

static void snapshotArrays(FlowmirState* fms, FlowmirState::CosimLists& l)
{
    FlowmirState::CosimLists::Snapshot& s = l.snap;
    if (fms->nafnd > 0) s.T = alc_vt<double>(fms, 1, fms->nafnd, "cosim_snap_T");
    if (fms->nafnd > 0 && l.nctm > 0) s.Mf = alc_vt<double>(fms, 0, fms->nafnd * l.nctm - 1, "cosim_snap_Mf");
    if (l.envMf) s.envMf = alc_vt<double>(fms, 0, l.nenv * l.nctm - 1, "cosim_snap_envMf");
    if (l.ninode > 0) s.set = alc_vt<float>(fms, 1, l.ninode, "cosim_snap_set");
}

void setup_cosim_lists(FlowmirState* fms)
{
    free_cosim_lists(fms);
    FlowmirState::CosimLists& l = fms->cosimLists;
    l.nctm = fms->nctm;
    l.nzone = fms->nzone;
    if (l.nzone > 0) {
        l.zones = alc_vt<AirNode*>(fms, 1, l.nzone, "cosim_zone_list");
        int i = 0;
        for (AirNode* n = fms->nodeList; n && i < l.nzone; n = n->next) l.zones[++i] = n;
    }
    pathLists(fms, l);
    l.inodes = controlList(fms, CT_SET, &l.ninode, "cosim_inode_list");
    l.onodes = controlList(fms, CT_PAS, &l.nonode, "cosim_onode_list");
    l.terms = linkList(fms, LINK_TERM, &l.nterm, "cosim_term_list");
    l.njct = fms->njct;
    if (l.njct > 0) {
        l.jcts = alc_vt<AirNode*>(fms, 1, l.njct, "cosim_jct_list");
        for (AirNode* n = fms->nodeList; n; n = n->next)
            if ((n->styp == NODE_JCT || n->styp == NODE_TERM) && n->s_nr >= 1 && n->s_nr <= l.njct)
                l.jcts[n->s_nr] = n;
    }
    l.leaks = linkList(fms, LINK_LEAK, &l.nleak, "cosim_leak_list");
    systemLists(fms, l);
    envelopeLists(fms, l);
    snapshotArrays(fms, l);
}

void free_cosim_lists(FlowmirState* fms)
{
    FlowmirState::CosimLists& l = fms->cosimLists;
    FlowmirState::CosimLists::Snapshot& s = l.snap;
    fre_vt(fms, s.T, 1, fms->nafnd);
    if (s.Mf) fre_vt(fms, s.Mf, 0, fms->nafnd * l.nctm - 1);
    if (s.envMf) fre_vt(fms, s.envMf, 0, l.nenv * l.nctm - 1);
    fre_vt(fms, s.set, 1, l.ninode);
    if (l.envMf) fre_mc(fms, l.envMf, 1, l.nenv, 0, l.nctm - 1, sizeof(double));
    fre_vt(fms, l.env, 1, l.nenv);
    fre_vt(fms, l.oaps, 1, l.noap);
    fre_vt(fms, l.oapValues, 1, l.noap);
    fre_vt(fms, l.leaks, 1, l.nleak);
    fre_vt(fms, l.jcts, 1, l.njct);
    fre_vt(fms, l.terms, 1, l.nterm);
    fre_vt(fms, l.onodes, 1, l.nonode);
    fre_vt(fms, l.inodes, 1, l.ninode);
    fre_vt(fms, l.pathAhs, 1, l.npath);
    fre_vt(fms, l.pathFlags, 1, l.npath);
    fre_vt(fms, l.paths, 1, l.npath);
    fre_vt(fms, l.zones, 1, l.nzone);
    l = {};
}

AirNode* cosim_zone(const FlowmirState* fms, int zone)
{
    const FlowmirState::CosimLists& l = fms->cosimLists;
    return l.zones && zone >= 1 && zone <= l.nzone ? l.zones[zone] : nullptr;
}

AirLink* cosim_path(const FlowmirState* fms, int path)
{
    const FlowmirState::CosimLists& l = fms->cosimLists;
    return l.paths && path >= 1 && path <= l.npath ? l.paths[path] : nullptr;
}

// --- the inputs of a solved step ---

void cosim_snapshot_save(FlowmirState* fms)
{
    FlowmirState::CosimLists& l = fms->cosimLists;
    FlowmirState::CosimLists::Snapshot& s = l.snap;
    if (!s.T) return;
    s.Tambt = fms->Tambt;
    s.Pambt = fms->Pambt;
    s.Wspd = fms->Wspd;
    s.Wdir = fms->Wdir;
    s.Wambt = fms->Wambt;
    int i = 0;
    for (AirNode* n = fms->nodeList; n; n = n->next, i++) {
        s.T[i + 1] = n->T;
        if (s.Mf && n->Mf) memcpy(s.Mf + (size_t)i * l.nctm, n->Mf, sizeof(double) * l.nctm);
    }
    if (s.envMf)
        for (int k = 1; k <= l.nenv; k++) memcpy(s.envMf + (size_t)(k - 1) * l.nctm, l.envMf[k], sizeof(double) * l.nctm);
    for (int k = 1; k <= l.ninode; k++) s.set[k] = l.inodes[k]->out;
    s.valid = 1;
}

// Exchanges the saved inputs with the current ones: once to write a step's records as it was
// solved, once more to give the host's new inputs back.
void cosim_snapshot_swap(FlowmirState* fms)
{
    FlowmirState::CosimLists& l = fms->cosimLists;
    FlowmirState::CosimLists::Snapshot& s = l.snap;
    if (!s.valid) return;
    std::swap(s.Tambt, fms->Tambt);
    std::swap(s.Pambt, fms->Pambt);
    std::swap(s.Wspd, fms->Wspd);
    std::swap(s.Wdir, fms->Wdir);
    std::swap(s.Wambt, fms->Wambt);
    int i = 0;
    for (AirNode* n = fms->nodeList; n; n = n->next, i++) {
        std::swap(s.T[i + 1], n->T);
        if (s.Mf && n->Mf)
            for (int j = 0; j < l.nctm; j++) std::swap(s.Mf[(size_t)i * l.nctm + j], n->Mf[j]);
    }
    if (s.envMf)
        for (int k = 1; k <= l.nenv; k++)
            for (int j = 0; j < l.nctm; j++) std::swap(s.envMf[(size_t)(k - 1) * l.nctm + j], l.envMf[k][j]);
    for (int k = 1; k <= l.ninode; k++) std::swap(s.set[k], l.inodes[k]->out);
}
