// The transport coefficients of one species group for the current state: sources and sinks,
// kinetic reactions, and the flows of every link with its filter's penetrations.
#include <cstdio>
#include <cstdlib>

#include "cfd/cpl.h"
#include "network/airnet.h"
#include "network/sparse.h"
#include "transport/cse.h"
#include "transport/filter.h"
#include "transport/mfsystem.h"
#include "transport/species.h"

static bool variable(const AirNode* n)
{
    return (n->flags & NF_MASSFRAC) != 0;
}

void findPolMassRates_cse_implicit(FlowmirState* fms, MfSystem* sys)
{
    double* K = sys->K;
    double* e = sys->e;
    bool nonTrace = sys->nonTrace;
    if (nonTrace)
        for (AirNode* n = fms->nodeList; n; n = n->next) n->src = 0.0;

    for (CseInstance* c = sys->instances; c; c = c->next) {
        c->element->model(fms, c);
        int j = c->element->species;
        AirNode* z = c->zoneNode;
        int eq = z->mfEqn[j];
        e[eq] += c->G;
        K[eq] -= c->R;
        if (nonTrace && fms->ctm[j].nonTrace) z->src += c->G - z->Mf[j] * c->R;
    }
    for (int kind = 0; kind < 2; kind++)
        for (CseSink* s = kind == 0 ? sys->bls : sys->dvr; s; s = s->next) {
            if (kind == 0)
                bls_coefficients(fms, s);
            else
                dvr_coefficients(fms, s);
            int z = s->eqnZone, q = s->eqnSink;
            K[z] -= s->a;
            K[sa_find(sys->ija, z, q)] += s->b;
            K[q] -= s->b;
            K[sa_find(sys->ija, q, z)] += s->a;
            if (nonTrace && fms->ctm[s->species].nonTrace)
                s->zoneNode->src += s->Cs * s->b - s->zoneNode->Mf[s->species] * s->a;
        }
    findPolMassRates_occ(fms, sys);
}

// First-order reactions of the zones that have a volume: terms whose source species lies
// outside the group add a known generation.
static void reactions(FlowmirState* fms, MfSystem* sys)
{
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        const Reaction* r = static_cast<const Reaction*>(n->rxn);
        if (!r || !(n->flags & NF_VOLUME)) continue;
        for (int t = 0; t < r->n; t++) {
            int p = r->prod[t], s = r->src[t];
            if (p < sys->first || p >= sys->end) continue;
            double cm = (double)r->coef[t] * n->M;
            int row = n->mfEqn[p];
            if (s < sys->first || s >= sys->end)
                sys->e[row] += cm * n->Mf[s];
            else
                sys->K[sa_find(sys->ija, row, n->mfEqn[s])] += cm;
        }
    }
}

static void linkFlows(FlowmirState* fms, MfSystem* sys)
{
    double* K = sys->K;
    double* e = sys->e;
    int ns = sys->end - sys->first;
    for (AirLink* l = fms->linkList; l; l = l->next) {
        const float* p = filter_sim(fms, l);
        AirNode* N = l->nodeN;
        AirNode* M = l->nodeM;
        bool vN = variable(N), vM = variable(M);
        int base = (l->nr - 1) * ns + 1 - sys->first;
        for (int d = 0; d < 2; d++) {
            double q = l->Flow[d];
            if (q > 0.0) {
                for (int j = sys->first; j < sys->end; j++) {
                    if (vN) {
                        K[N->mfEqn[j]] -= q;
                        if (vM) K[sys->posMN[base + j]] += p[j] * q;
                    } else if (vM) {
                        e[M->mfEqn[j]] += p[j] * l->srcN[j] * q;
                    }
                }
            } else if (q < 0.0) {
                for (int j = sys->first; j < sys->end; j++) {
                    if (vM) {
                        K[M->mfEqn[j]] += q;
                        if (vN) K[sys->posNM[base + j]] -= p[j] * q;
                    } else if (vN) {
                        e[N->mfEqn[j]] -= p[j] * l->srcM[j] * q;
                    }
                }
            }
        }
    }
}

void findPolMassRates(FlowmirState* fms, MfSystem* sys)
{
    for (int k = 1; k <= sys->nnz; k++) sys->K[k] = 0.0;
    for (int i = 1; i <= sys->neq; i++) sys->e[i] = 0.0;
    findPolMassRates_cse_implicit(fms, sys);
    reactions(fms, sys);
    linkFlows(fms, sys);
    // The contaminants the CFD zone's air brings to its neighbours.
    if (fms->cpl && inctmctm(fms, sys, 1) != 0) {
        printf("\n\nerror of contaminant coupling in solvemf at LN 321,exit\n");
        fflush(stdout);
        exit(1);
    }
}
