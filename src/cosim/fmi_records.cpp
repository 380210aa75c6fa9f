// Descriptions a host asks for: the info records of zones, paths, junctions, terminals, leaks
// and control nodes. Each field is written on its own, so the record's padding and spare
// fields keep the host's bytes.
#include <cstddef>
#include <cstring>

#include "controls/ctrl.h"
#include "cosim/cosim.h"
#include "flowmir/fmi.h"
#include "network/airnet.h"
#include "project/components.h"

// Fields go to the host's bytes one by one through plain byte copies: stores to the fields of
// a record may be merged with its padding, which the host may not expect to change.
template <class R, class T>
static void put(R* record, size_t offset, T value)
{
    memcpy(reinterpret_cast<unsigned char*>(record) + offset, &value, sizeof value);
}

#define PUT(rec, Type, field, value) put(rec, offsetof(Type, field), static_cast<decltype(Type::field)>(value))

// Copies a name with its terminating zero and nothing after it.
template <class R>
static void putName(R* record, size_t offset, size_t width, const char* from)
{
    size_t n = strnlen(from, width - 1);
    unsigned char* to = reinterpret_cast<unsigned char*>(record) + offset;
    memcpy(to, from, n);
    to[n] = '\0';
}

#define PUT_NAME(rec, Type, field, from) putName(rec, offsetof(Type, field), sizeof(Type::field), from)

static int32_t zoneNumberAt(const FlowmirState* fms, const AirNode* n)
{
    return !n || n == fms->ambt ? 0 : n->s_nr;
}

extern "C" int fmiGetZoneInfo(FlowmirState* fms, int zone, FmiZoneInfo* info)
{
    if (!fms->ZnLst) return 1;
    if (!info) return 2;
    if (zone < 1 || zone > fms->nzone) return 3;
    const Zone* z = fms->ZnLst[zone];
    PUT(info, FmiZoneInfo, zoneNr, z->nr);
    PUT(info, FmiZoneInfo, flags, z->flags);
    PUT(info, FmiZoneInfo, volume, z->Vol);
    PUT_NAME(info, FmiZoneInfo, levelName, z->level ? z->level->name : "");
    PUT(info, FmiZoneInfo, levelNr, z->levNr);
    PUT_NAME(info, FmiZoneInfo, zoneName, z->name);
    return 0;
}

extern "C" int fmiGetPathInfo(FlowmirState* fms, int path, FmiPathInfo* info)
{
    if (!info) return 1;
    const FlowmirState::CosimLists& c = fms->cosimLists;
    if (!c.paths) return 2;
    const AirLink* l = cosim_path(fms, path);
    if (!l) return 3;
    PUT(info, FmiPathInfo, pathNr, l->s_nr);
    PUT(info, FmiPathInfo, flags, c.pathFlags[path]);
    PUT(info, FmiPathInfo, zoneN, zoneNumberAt(fms, l->nodeN));
    PUT(info, FmiPathInfo, zoneM, zoneNumberAt(fms, l->nodeM));
    PUT(info, FmiPathInfo, ahsNr, c.pathAhs[path]);
    PUT(info, FmiPathInfo, x, l->x);
    PUT(info, FmiPathInfo, y, l->y);
    PUT(info, FmiPathInfo, z, l->Z);
    PUT(info, FmiPathInfo, envIndex, l->envIdx);
    return 0;
}

extern "C" int fmiGetJunctionInfo(FlowmirState* fms, int jct, FmiJunctionInfo* info)
{
    if (!info) return 1;
    if (!fms->JctLst) return 2;
    if (jct < 1 || jct > fms->njct) return 3;
    const Junction* j = fms->JctLst[jct];
    PUT(info, FmiJunctionInfo, jctNr, j->nr);
    PUT(info, FmiJunctionInfo, flags, j->flags);
    PUT(info, FmiJunctionInfo, zoneNr, j->zoneNr);
    int env = 0;
    const FlowmirState::CosimLists& c = fms->cosimLists;
    for (int k = 1; j->terminal && k <= c.nterm; k++)
        if (c.terms[k]->s_nr == j->nr) env = c.terms[k]->envIdx;
    PUT(info, FmiJunctionInfo, envIndex, env);
    return 0;
}

// Terminal and leak links lead from their junction's node.
static const AirLink* listed(AirLink* const* list, int n, int i)
{
    return list && i >= 1 && i <= n ? list[i] : nullptr;
}

extern "C" int fmiGetTermInfo(FlowmirState* fms, int term, FmiTermInfo* info)
{
    if (!info) return 1;
    const FlowmirState::CosimLists& c = fms->cosimLists;
    if (!c.terms) return 2;
    const AirLink* l = listed(c.terms, c.nterm, term);
    if (!l) return 3;
    PUT(info, FmiTermInfo, jctNr, l->s_nr);
    PUT(info, FmiTermInfo, flags, (uint16_t)l->flags);
    PUT(info, FmiTermInfo, x, l->x);
    PUT(info, FmiTermInfo, y, l->y);
    PUT(info, FmiTermInfo, z, l->Z);
    PUT(info, FmiTermInfo, nodeN, l->nodeN ? l->nodeN->nr : 0);
    PUT(info, FmiTermInfo, envIndex, l->envIdx);
    return 0;
}

extern "C" int fmiGetLeakInfo(FlowmirState* fms, int leak, FmiLeakInfo* info)
{
    if (!info) return 1;
    const FlowmirState::CosimLists& c = fms->cosimLists;
    if (!c.leaks) return 2;
    const AirLink* l = listed(c.leaks, c.nleak, leak);
    if (!l) return 3;
    PUT(info, FmiLeakInfo, jctNr, l->s_nr);
    PUT(info, FmiLeakInfo, flags, (uint16_t)l->flags);
    PUT(info, FmiLeakInfo, x, l->x);
    PUT(info, FmiLeakInfo, y, l->y);
    PUT(info, FmiLeakInfo, z, l->Z);
    PUT(info, FmiLeakInfo, nodeN, l->nodeN ? l->nodeN->nr : 0);
    return 0;
}

static int controlInfo(CtrlNode* const* list, int n, int index, FmiCtrlInfo* info)
{
    if (!info) return 1;
    if (!list) return 2;
    if (index < 1 || index > n) return 3;
    PUT(info, FmiCtrlInfo, ctrlNr, list[index]->nr);
    PUT_NAME(info, FmiCtrlInfo, name, list[index]->name);
    return 0;
}

extern "C" int fmiGetInputControlInfo(FlowmirState* fms, int index, FmiCtrlInfo* info)
{
    const FlowmirState::CosimLists& c = fms->cosimLists;
    return controlInfo(c.inodes, c.ninode, index, info);
}

extern "C" int fmiGetOutputControlInfo(FlowmirState* fms, int index, FmiCtrlInfo* info)
{
    const FlowmirState::CosimLists& c = fms->cosimLists;
    return controlInfo(c.onodes, c.nonode, index, info);
}

// --- lookups by name and by junction ---

extern "C" int fmiGetZoneNumber(FlowmirState* fms, const char* name, int level, int* zone)
{
    if (!name || !name[0]) return 1;
    if (level < 1 || level > fms->nlev) return 2;
    if (!zone) return 3;
    if (!fms->ZnLst) return 4;
    *zone = -1;
    for (int i = 1; i <= fms->nzone; i++) {
        const Zone* z = fms->ZnLst[i];
        if (z->levNr == level && strcmp(z->name, name) == 0) {
            *zone = z->nr;
            break;
        }
    }
    return 0;
}

extern "C" int fmiGetAHSNumber(FlowmirState* fms, const char* name, int* ahs)
{
    if (!name || !name[0]) return 1;
    if (!ahs) return 2;
    if (!fms->AhsLst) return 3;
    *ahs = -1;
    for (int i = 1; i <= fms->nahs; i++)
        if (strcmp(fms->AhsLst[i]->name, name) == 0) {
            *ahs = i;
            break;
        }
    return 0;
}

extern "C" int fmiGetLeakNumber(FlowmirState* fms, int jct, int* leak)
{
    if (!leak) return 1;
    if (jct < 1 || jct > fms->njct) return 2;
    const FlowmirState::CosimLists& c = fms->cosimLists;
    *leak = -1;
    for (int k = 1; k <= c.nleak; k++)
        if (c.leaks[k]->s_nr == jct) {
            *leak = k;
            break;
        }
    return 0;
}
