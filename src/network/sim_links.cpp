// Airflow links: paths in path order, duct segments in duct order, then junction by junction
// its terminal or leak link; each with its element, control value, wind pressure and the
// concentrations its flows carry.
#include <cstdio>

#include "airflow/afe.h"
#include "airflow/afe_models.h"
#include "network/sim_parts.h"
#include "network/sim_values.h"
#include "project/components.h"
#include "support/error.h"
#include "support/heap.h"

// Shared read-only targets: the control value of a link with no schedule, control node or
// value file, and the wind pressure of a link off the envelope.
static float kOne = 1.0f;
static float kZero = 0.0f;

uint32_t sim_path_flags(const Path* p)
{
    uint32_t f = p->flags;
    if (p->afe && (p->afe->type == AFE_FAN_CMF || p->afe->type == AFE_FAN_CVF)) f &= LF_NOOFFD;
    return f;
}

static AirLink* appendLink(FlowmirState* fms, AirLink*** tail, int* nr, int styp, int s_nr)
{
    AirLink* l = alc_ect<AirLink>(fms, &fms->msBlock, "link");
    l->nr = ++*nr;
    l->styp = styp;
    l->s_nr = s_nr;
    l->ctrl = &kOne;
    l->windP = &kZero;
    l->mult = 1.0;
    **tail = l;
    *tail = &l->next;
    return l;
}

// +1 when the flow from N leaves the unconditioned side, -1 when it enters it.
static int envDirOf(const AirNode* N, const AirNode* M)
{
    bool n = N && (N->flags & NF_UNCOND);
    bool m = M && (M->flags & NF_UNCOND);
    return n == m ? 0 : n ? 1 : -1;
}

static void checkFit(FlowmirState* fms, const Afe* e)
{
    const AfeCsf* c = afe_csf(e);
    if (c && c->status != 0)
        error(fms, ERROR, __FILE__, __LINE__, "Bad spline fit for element: ", e->name, "");
}

// The filter of a component's filter number; 0 is none.
static void* filterOf(const FlowmirState* fms, int fltNr)
{
    return fltNr > 0 && fltNr <= fms->nflt && fms->FltLst ? fms->FltLst[fltNr] : nullptr;
}

static AirNode* zoneNode(FlowmirState* fms, const SimBuild* b, int zoneNr)
{
    return zoneNr == -1 ? fms->ambt : zoneNr > 0 ? b->zoneNode[zoneNr] : nullptr;
}

static void pathLinks(FlowmirState* fms, const SimBuild* b, AirLink*** tail, int* nr)
{
    for (int i = 1; i <= fms->npath; i++) {
        const Path* p = fms->PthLst[i];
        if (p->nr != i) errorf(fms, ERROR, __FILE__, __LINE__, "Bad path %d", i);
        AirLink* l = appendLink(fms, tail, nr, LINK_PATH, p->nr);
        l->flags = sim_path_flags(p);
        l->nodeN = zoneNode(fms, b, p->zoneNrN);
        l->nodeM = zoneNode(fms, b, p->zoneNrM);
        if (!(p->flags & PTH_AHS)) l->envDir = envDirOf(l->nodeN, l->nodeM);
        l->elem = p->afe;
        checkFit(fms, l->elem);
        l->filter = filterOf(fms, p->fltNr);
        l->windProf = p->wpf;
        l->Z = p->hgt;
        l->dHn = l->Z - l->nodeN->hgt;
        l->dHm = l->Z - l->nodeM->hgt;
        l->mult = p->mult;
        l->ctrl = sim_value_pointer(fms, p->ctrlNr, p->vfType, p->vfKey, p->wshNr, &kOne);
        l->windConst = p->windConst;
        l->windMod = p->windMod;
        l->azimuth = p->azimuth;
        l->designFlow = p->designFlow;
        l->envIdx = b->pathEnv[i];
        l->locIdx = b->pathLoc[i];
        l->x = p->x;
        l->y = p->y;
        l->cfd = p->cfd;
        snprintf(l->cfdKey, sizeof l->cfdKey, "%s", p->cfdKey);
        for (int k = 0; k < 3; k++) l->cfdData[k] = p->cfdData[k];
    }
}

static AirNode* ductEnd(FlowmirState* fms, const SimBuild* b, const Duct* d, int jctNr, const char* which)
{
    if (jctNr > 0 && b->jctNode[jctNr]) return b->jctNode[jctNr];
    errorf(fms, ERROR, __FILE__, __LINE__, " Duct %d No pointer to node %s", d->nr, which);
    return nullptr;
}

static void ductLinks(FlowmirState* fms, const SimBuild* b, AirLink*** tail, int* nr)
{
    for (int i = 1; i <= fms->ndct; i++) {
        const Duct* d = fms->DctLst[i];
        if (d->nr != i) errorf(fms, ERROR, __FILE__, __LINE__, "Bad duct %d", i);
        AirLink* l = appendLink(fms, tail, nr, LINK_DUCT, d->nr);
        l->nodeN = ductEnd(fms, b, d, d->jctNrN, "N");
        l->nodeM = ductEnd(fms, b, d, d->jctNrM, "M");
        l->elem = d->dfe;
        l->filter = filterOf(fms, d->fltNr);
        l->ctrl = sim_value_pointer(fms, d->ctrlNr, d->vfType, d->vfKey, d->wshNr, &kOne);
        if (l->elem && (l->elem->type == AFE_FAN_CMF || l->elem->type == AFE_FAN_CVF)) l->flags &= LF_NOOFFD;
        checkFit(fms, l->elem);
        if (l->nodeN && l->nodeM) l->dH = l->nodeM->hgt - l->nodeN->hgt;
        l->dd = b->seg[i];
        afe_duct_prep(fms, l);
        l->envDir = envDirOf(l->nodeN, l->nodeM);
    }
}

static Afe* terminalElement(FlowmirState* fms, const Junction* jc)
{
    AfeTrm* t = alc_ect<AfeTrm>(fms, &fms->msBlock, "trm");
    t->loss1 = jc->loss1;
    t->loss2 = jc->loss2;
    t->area = jc->area;
    t->Fdes = jc->Fdes;
    t->bal = (int16_t)jc->bal;
    afe_trm_prep(fms, t, jc->nr);
    Afe* e = alc_ect<Afe>(fms, &fms->msBlock, "afe");
    e->data = t;
    e->type = AFE_D_TERM;
    e->nr = jc->nr;
    snprintf(e->name, sizeof e->name, "trm");
    return e;
}

static void junctionLinks(FlowmirState* fms, const SimBuild* b, AirLink*** tail, int* nr)
{
    for (int j = 1; j <= fms->njct; j++) {
        const Junction* jc = fms->JctLst[j];
        if (jc->nr != j) errorf(fms, ERROR, __FILE__, __LINE__, "Bad junction %d", j);
        AirNode* N = b->jctNode[j];
        AirNode* M = zoneNode(fms, b, jc->zoneNr);
        AirLink* l;
        if (jc->terminal) {
            l = appendLink(fms, tail, nr, LINK_TERM, jc->nr);
            l->flags = jc->flags;
            l->envIdx = b->jctEnv[j];
            l->locIdx = b->jctLoc[j];
            if ((l->flags & LF_WIND) && (l->envIdx < 1 || l->envIdx > fms->nenv))
                errorf(fms, ERROR, __FILE__, __LINE__, "Invalid wind flag or ENVindex: %d, terminal: %d",
                       l->envIdx, jc->nr);
            l->windProf = jc->wpf;
            l->windConst = jc->windConst;
            l->windMod = jc->windMod;
            l->azimuth = jc->azimuth;
            l->x = jc->x;
            l->y = jc->y;
            l->elem = terminalElement(fms, jc);
            l->filter = filterOf(fms, jc->fltNr);
            l->ctrl = sim_value_pointer(fms, jc->ctrlNr, VFILE_NONE, "", jc->wshNr, &kOne);
            l->dd = alc_ect<DuctSeg>(fms, &fms->msBlock, "dseg");
        } else if (jc->Cleak > 0.0f) {
            l = appendLink(fms, tail, nr, LINK_LEAK, jc->nr);
            l->flags = LF_LEAK;
            if (!N) errorf(fms, ERROR, __FILE__, __LINE__, " Leak %d No pointer to node N", jc->nr);
            if (!M) errorf(fms, ERROR, __FILE__, __LINE__, " Leak %d No pointer to node M", jc->nr);
            l->dd = alc_ect<DuctSeg>(fms, &fms->msBlock, "dseg");
            l->dd->Cleak = jc->Cleak;
        } else {
            continue;
        }
        l->nodeN = N;
        l->nodeM = M;
        l->Z = jc->hgt;
        if (N && M) l->dHm = N->hgt - M->hgt;
        l->envDir = M && (M->flags & NF_UNCOND) ? -1 : 0;
    }
}

// Wind pressures of the envelope entries and the concentrations each end supplies.
static void linkEnds(FlowmirState* fms)
{
    for (AirLink* l = fms->linkList; l; l = l->next) {
        int k = l->envIdx;
        // Without the arrays (wind pressures from the WPC file) the file's opening maps them.
        if (k >= 1 && k <= fms->nenv && fms->wPenv) {
            if (l->nodeN == fms->ambt) {
                l->windP = &fms->wPenv[k];
                fms->wSign[k] = 1.0f;
            }
            if (l->nodeM == fms->ambt) {
                l->windP = &fms->wPenv[k];
                fms->wSign[k] = -1.0f;
            }
        }
        // The ambient node's row holds the ambient default mass fractions.
        l->srcN = l->nodeN ? l->nodeN->Mf : nullptr;
        l->srcM = l->nodeM ? l->nodeM->Mf : nullptr;
    }
}

void sim_links(FlowmirState* fms, SimBuild* b)
{
    AirLink* head = nullptr;
    AirLink** tail = &head;
    int nr = 0;
    pathLinks(fms, b, &tail, &nr);
    ductLinks(fms, b, &tail, &nr);
    junctionLinks(fms, b, &tail, &nr);
    fms->linkList = head;
    fms->nafpt = nr;
    linkEnds(fms);
    if (error(fms, -1, __FILE__, __LINE__, "") > 0)
        error(fms, FATAL, __FILE__, __LINE__, "Fix errors, may need to call Orvo", "");
}

void sim_implicit_elements(FlowmirState* fms)
{
    struct Kind {
        const char* name;
        int code;
        uint32_t flag;
    };
    // Tested in this order: a link carries one of these kinds only.
    static const Kind kinds[5] = {{"ahs", AFE_AHS_SR, LF_AHS},
                                  {"ahr", AFE_AHS_XOR, LF_AHR},
                                  {"aho", AFE_AHS_XOR, LF_AHO},
                                  {"ahx", AFE_AHS_XOR, LF_AHX},
                                  {"jlk", AFE_D_LEAK, LF_LEAK}};
    Afe* elems[5];
    for (int k = 0; k < 5; k++) {
        elems[k] = alc_ect<Afe>(fms, &fms->msBlock, "afe");
        elems[k]->type = kinds[k].code;
        snprintf(elems[k]->name, sizeof elems[k]->name, "%s", kinds[k].name);
    }
    for (AirLink* l = fms->linkList; l; l = l->next) {
        if (l->elem) continue;
        for (int k = 0; k < 5 && !l->elem; k++)
            if (l->flags & kinds[k].flag) l->elem = elems[k];
        if (!l->elem) errorf(fms, FATAL, __FILE__, __LINE__, "Undefined element type, path %d", l->nr);
    }
}
