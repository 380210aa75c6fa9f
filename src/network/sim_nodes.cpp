// Air nodes: zones in zone order, junctions in junction order, then the ambient, last.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "network/sim_parts.h"
#include "network/sim_values.h"
#include "project/components.h"
#include "support/error.h"
#include "support/heap.h"

static AirNode* appendNode(FlowmirState* fms, AirNode*** tail, int* nr)
{
    AirNode* n = alc_ect<AirNode>(fms, &fms->msBlock, "node");
    n->nr = ++*nr;
    **tail = n;
    *tail = &n->next;
    return n;
}

// Cells of a one-dimensional zone must stay near the requested size.
static void checkCells(FlowmirState* fms, const Zone* z)
{
    double dx0 = z->cdzDx;
    double l = std::sqrt(std::pow(z->cdzP2[0] - z->cdzP1[0], 2.0) + std::pow(z->cdzP2[1] - z->cdzP1[1], 2.0) +
                         std::pow(z->cdzP2[2] - z->cdzP1[2], 2.0));
    int N = 1;
    if (dx0 > 0.0 && l / dx0 + 0.5 < 1e9) N = std::max(1, (int)std::floor(l / dx0 + 0.5));
    double dx = l / N;
    if (dx > 1.5 * dx0 || dx == 0.0)
        errorf(fms, ERROR, __FILE__, __LINE__, "1-D C-D zone %d: cell dx=%.3f, L=%.3f, ==> N=%d, dx=%.3f\n",
               z->nr, dx0, l, N, dx);
}

// Mass-fraction row of a node: zone i at i*nctm of MfZ, the ambient at 0, junction j at
// (j-1)*nctm of MfJ.
static double* zoneRow(FlowmirState* fms, int i)
{
    return fms->nctm > 0 && fms->MfZ ? fms->MfZ + (size_t)i * fms->nctm : nullptr;
}

static double* jctRow(FlowmirState* fms, int j)
{
    return fms->nctm > 0 && fms->MfJ ? fms->MfJ + (size_t)(j - 1) * fms->nctm : nullptr;
}

void sim_nodes(FlowmirState* fms, SimBuild* b)
{
    AirNode* head = nullptr;
    AirNode** tail = &head;
    int nr = 0;
    bool cells = fms->mfsolver == 1 && fms->nctm > 0;

    for (int i = 1; i <= fms->nzone; i++) {
        const Zone* z = fms->ZnLst[i];
        AirNode* n = appendNode(fms, &tail, &nr);
        b->zoneNode[i] = n;
        n->styp = NODE_ZONE;
        n->s_nr = z->nr;
        n->flags = z->flags;
        n->hgt = z->hgt;
        n->V = z->Vol;
        n->T = z->T;
        n->P = (z->flags & ZF_PRESSURE) ? 0.0 : z->P;
        n->isCfd = (z->flags & ZF_CFD) ? 1 : 0;
        n->level = z->level;
        snprintf(n->name, sizeof n->name, "%s", z->name);
        n->Mf = zoneRow(fms, i);
        if (z->knrNr > 0 && fms->KnrLst) n->rxn = fms->KnrLst[z->knrNr];
        n->tctl = sim_value_pointer(fms, z->ctrlNr, z->vfType, z->vfKey, z->wshNr, nullptr);
        n->Fmin = fms->afAbscnvg * 2.4f * std::max(n->V, 0.01f);
        if (cells && z->cdz) checkCells(fms, z);
    }
    for (int j = 1; j <= fms->njct; j++) {
        const Junction* jc = fms->JctLst[j];
        AirNode* n = appendNode(fms, &tail, &nr);
        b->jctNode[j] = n;
        n->styp = jc->terminal ? NODE_TERM : NODE_JCT;
        n->s_nr = jc->nr;
        n->flags = NF_VARP | NF_MASSFRAC;
        n->hgt = jc->hgt;
        n->V = jc->V;
        n->T = jc->T;
        n->level = jc->level;
        if (jc->zoneNr > 0) {
            n->inZoneNode = b->zoneNode[jc->zoneNr];
            n->inZone = 1;
        }
        n->Mf = jctRow(fms, j);
        n->tctl = sim_value_pointer(fms, jc->ctrlNr, jc->vfType, jc->vfKey, jc->wshNr, nullptr);
        n->Fmin = fms->afAbscnvg * 2.4f * std::max(n->V, 0.001f);
    }

    AirNode* a = appendNode(fms, &tail, &nr);
    a->styp = NODE_ZONE;
    a->flags = NF_UNCOND;
    a->hgt = 0.0f;
    a->T = fms->Tambt;
    a->P = 0.0;
    snprintf(a->name, sizeof a->name, "ambt");
    a->Fmin = fms->afAbscnvg * 2.4f * 0.01f;
    a->Mf = zoneRow(fms, 0);
    if (a->Mf && fms->ambtMf) memcpy(a->Mf, fms->ambtMf, sizeof(double) * fms->nctm);

    for (AirNode* n = head; n; n = n->next) {
        n->R = 287.055;
        n->cp = 1003.5f;
        if (n->V > 0.0f)
            n->flags |= NF_VOLUME;
        else
            n->flags &= ~NF_VOLUME;
        if (fms->dodMdt) n->flags |= NF_STORAGE;
        n->rho = (n->P + fms->Pambt) / (n->T * n->R);
    }

    fms->nodeList = head;
    fms->ambt = a;
    fms->nafnd = nr;
}
