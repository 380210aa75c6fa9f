// The envelope lists of the network: the wind-pressure entries of the openings to the ambient,
// and the list of distinct opening positions matched against the wind-pressure file.
#include <cmath>

#include "airflow/afe.h"
#include "network/sim_parts.h"
#include "project/components.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"

void EnvListsWpc_setup(FlowmirState* fms, int* pathEnv, int* jctEnv)
{
    LOG(fms,
        "EnvListWpc_setup() creating Envelope path lists:\n _nEnvPaths_Wpc %d, _useWPCwp %d, _wPBridge %d\n",
        fms->nenv, fms->_useWPCwp, fms->_wPBridge);
    logFlush(fms);
    if (fms->nenv > 0) {
        fre_vt(fms, fms->wPenv, 1, fms->nenv);
        fre_vt(fms, fms->wSign, 1, fms->nenv);
    }

    // Every opening to the ambient is numbered, wind-exposed or not, so that a host can set
    // the outdoor conditions of each; the supply, return, recirculation and exhaust paths of a
    // system are not openings of the building.
    const uint32_t system = PTH_AHS | PTH_AHR | PTH_AHX;
    int n = 0;
    for (int i = 1; i <= fms->npath; i++) {
        const Path* p = fms->PthLst[i];
        bool ambient = p->zoneNrN == -1 || p->zoneNrM == -1;
        if (ambient && !(p->flags & system)) pathEnv[i] = ++n;
    }
    for (int j = 1; j <= fms->njct; j++) {
        const Junction* jc = fms->JctLst[j];
        if (jc->terminal > 0 && jc->zoneNr == -1) jctEnv[j] = ++n;
    }
    LOG(fms, "  %d envelope paths|terminals for WPC\n", n);

    fms->nenv = n;
    // Wind pressures from the file reach the links through its own arrays.
    bool own = n > 0 && !fms->_useWPCwp;
    fms->wPenv = own ? alc_vt<float>(fms, 1, n, "ENV_wP") : nullptr;
    fms->wSign = own ? alc_vt<float>(fms, 1, n, "ENV_wPs") : nullptr;
}

static const char* kindWord(int kind)
{
    return kind == 0 ? "path" : "duct";
}

// Index of the first location within 1.5 mm of (x, y, z) in every coordinate, or 0.
static int findLocation(const PLDloc* locs, int n, float x, float y, float z)
{
    for (int k = 1; k <= n; k++) {
        const PLDloc& L = locs[k];
        if (std::fabs(L.x - x) < 0.0015f && std::fabs(L.y - y) < 0.0015f && std::fabs(L.z - z) < 0.0015f)
            return k;
    }
    return 0;
}

// Matches the opening against the list so far or appends it; returns its location.
static int addLocation(FlowmirState* fms, PLDloc* locs, int* n, int* dups, int kind, int item, float x,
                       float y, float z)
{
    int k = findLocation(locs, *n, x, y, z);
    if (k > 0) {
        ++*dups;
        if (fms->echo) {
            const PLDloc& L = locs[k];
            LOG(fms, "  %s %d at (%f %f %f) same as\n  %s %d at (%f %f %f)\n", kindWord(kind), item, x, y, z,
                kindWord(L.kind), L.item, L.x, L.y, L.z);
        }
        return k;
    }
    k = ++*n;
    locs[k] = PLDloc{k, x, y, z, kind, item};
    if (fms->echo) LOG(fms, "  %3d : %s %d at (%f %f %f)\n", k, kind == 0 ? "path" : "term", item, x, y, z);
    return k;
}

// Height of a path's opening: the middle of a large opening or of a two-opening door.
static float openingHeight(const Path* p)
{
    float z = p->hgt;
    const Afe* e = p->afe;
    if (e && e->data && e->type == AFE_DOR_DOOR) z += 0.5f * static_cast<const AfeDor*>(e->data)->ht;
    if (e && e->data && e->type == AFE_DOR_PL2) z += 0.5f * static_cast<const AfePl2*>(e->data)->spare;
    return z;
}

static void freeList(FlowmirState* fms)
{
    if (fms->PLDlist && fms->npld > 0) fre_vt(fms, fms->PLDlist, 1, fms->npld);
    fms->PLDlist = nullptr;
    fms->npld = 0;
}

int PLDlist(FlowmirState* fms, int create, int* pathLoc, int* jctLoc)
{
    freeList(fms);
    if (!create) return 0;
    LOG(fms, "Creating PLDlist:\n");

    int most = 0;
    for (int i = 1; i <= fms->npath; i++)
        if (fms->PthLst[i]->flags & PTH_LOC) most++;
    for (int j = 1; j <= fms->njct; j++)
        if (fms->JctLst[j]->terminal && (fms->JctLst[j]->flags & PTH_LOC)) most++;
    PLDloc* locs = most > 0 ? alc_vt<PLDloc>(fms, 1, most, "PLDloc") : nullptr;

    int n = 0, dups = 0;
    for (int i = 1; i <= fms->npath; i++) {
        const Path* p = fms->PthLst[i];
        if (!(p->flags & PTH_LOC)) continue;
        // The file gives outdoor conditions: an inner path given them would take outdoor air
        // for the air of one of its zones.
        if (p->zoneNrN != -1 && p->zoneNrM != -1) {
            errorf(fms, WARNING, __FILE__, __LINE__,
                   "Path %d is marked for the WPC file but does not open to the ambient; its mark is ignored",
                   p->nr);
            continue;
        }
        if (p->x == 0.0f && p->y == 0.0f)
            LOG(fms, "PLDpath: undefined location for path %d (%d)\n", p->nr, (int)p->flags);
        int k = addLocation(fms, locs, &n, &dups, 0, p->nr, p->x, p->y, openingHeight(p));
        if (pathLoc) pathLoc[i] = k;
    }
    for (int j = 1; j <= fms->njct; j++) {
        const Junction* jc = fms->JctLst[j];
        if (!jc->terminal || !(jc->flags & PTH_LOC)) continue;
        if (jc->zoneNr != -1) {
            error(fms, ERROR, __FILE__, __LINE__, "Bad WPC terminal, call Orvo", "");
            continue;
        }
        if (jc->x == 0.0f && jc->y == 0.0f)
            LOG(fms, "PLDterm: undefined location for terminal %d (%d)\n", jc->nr, (int)jc->flags);
        int k = addLocation(fms, locs, &n, &dups, 1, jc->nr, jc->x, jc->y, jc->hgt);
        if (jctLoc) jctLoc[j] = k;
    }
    LOG(fms, "  %d unique locations\n", n);
    LOG(fms, "  %d duplicate locations\n", dups);
    LOG(fms, "  end PLDlist\n\n");

    bool undefined = false;
    if (n > 0) {
        fms->PLDlist = alc_vt<PLDloc>(fms, 1, n, "PLDlist");
        for (int k = 1; k <= n; k++) {
            fms->PLDlist[k] = locs[k];
            if (locs[k].x == 0.0f && locs[k].y == 0.0f) undefined = true;
        }
        fms->npld = n;
    }
    if (locs) fre_vt(fms, locs, 1, most);
    if (undefined) error(fms, FATAL, __FILE__, __LINE__, "Undefined path/duct locations, call Orvo", "");
    return n;
}
