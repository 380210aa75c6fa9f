// The mass-fraction systems of a run: which exist, the numbering of their equations, their
// pattern, storage and solver, and their listing in the log.
#include <cstring>

#include "airflow/pool_array.h"
#include "network/airnet.h"
#include "network/profile.h"
#include "network/sparse.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"
#include "transport/cse.h"
#include "transport/mfsystem.h"
#include "transport/species.h"

static const double REORDER_PROFILE = 30.0;

static FILE* logStream(FlowmirState* fms)
{
    return fms->logFcn ? fms->logFile : nullptr;
}

static int atLeast1(int n)
{
    return n > 0 ? n : 1;
}

static bool variableZone(const AirNode* n)
{
    return n->styp == NODE_ZONE && (n->flags & NF_MASSFRAC);
}

static bool constantZone(const AirNode* n)
{
    return n->styp == NODE_ZONE && !(n->flags & NF_MASSFRAC);
}

static char nodeKind(const AirNode* n)
{
    return n->styp == NODE_ZONE ? 'z' : n->styp == NODE_JCT ? 'j' : 't';
}

static int countList(const CseSink* s)
{
    int n = 0;
    for (; s; s = s->next) n++;
    return n;
}

// Equation numbers of the nodes and sinks; returns the number of solved equations.
static int numberEquations(FlowmirState* fms, MfSystem* sys, int flag, int* neq)
{
    int k = 0;
    auto nodeEqns = [&](AirNode* n) {
        for (int j = sys->first; j < sys->end; j++) n->mfEqn[j] = ++k;
    };
    auto zoneSinks = [&](const AirNode* n) {
        for (CseSink* s = sys->bls; s; s = s->next)
            if (s->zoneNode == n) s->eqnSink = ++k;
        for (CseSink* s = sys->dvr; s; s = s->next)
            if (s->zoneNode == n) s->eqnSink = ++k;
    };
    for (CseSink* s = sys->bls; s; s = s->next) s->eqnSink = 0;
    for (CseSink* s = sys->dvr; s; s = s->next) s->eqnSink = 0;
    if (flag) {
        for (CseSink* s = sys->bls; s; s = s->next)
            if (!s->eqnSink) s->eqnSink = ++k;
        for (CseSink* s = sys->dvr; s; s = s->next) s->eqnSink = ++k;
        for (AirNode* n = fms->nodeList; n; n = n->next)
            if (variableZone(n)) nodeEqns(n);
    } else {
        for (AirNode* n = fms->nodeList; n; n = n->next)
            if (variableZone(n)) {
                nodeEqns(n);
                zoneSinks(n);
            }
    }
    for (AirNode* n = fms->nodeList; n; n = n->next)
        if (n->styp != NODE_ZONE) nodeEqns(n);
    int nvar = k;
    for (AirNode* n = fms->nodeList; n; n = n->next)
        if (constantZone(n)) nodeEqns(n);
    *neq = k;
    for (CseSink* lists[2] = {sys->bls, sys->dvr}; CseSink* head : lists)
        for (CseSink* s = head; s; s = s->next) s->eqnZone = s->zoneNode->mfEqn[s->species];
    return nvar;
}

static bool inGroup(const MfSystem* sys, int j)
{
    return j >= sys->first && j < sys->end;
}

// Every diagonal; both couplings of every link and species and of every sink with its zone;
// (product, source) of the reactions of zones with a volume, for terms within the group.
static int* buildPattern(FlowmirState* fms, MfSystem* sys, int* nelem)
{
    int neq = sys->neq;
    ColEntry** rows = alc_vt<ColEntry*>(fms, 1, atLeast1(neq), "mf-rows");
    MemBlock* pool = alc_eci(fms, ACOL_BLOCK_SIZE, "mf-acol");
    for (int i = 1; i <= neq; i++) acolset(fms, rows, &pool, i, i);
    for (AirLink* l = fms->linkList; l; l = l->next)
        for (int j = sys->first; j < sys->end; j++) {
            int n = l->nodeN->mfEqn[j], m = l->nodeM->mfEqn[j];
            acolset(fms, rows, &pool, n, m);
            acolset(fms, rows, &pool, m, n);
        }
    for (CseSink* lists[2] = {sys->bls, sys->dvr}; CseSink* head : lists)
        for (CseSink* s = head; s; s = s->next) {
            acolset(fms, rows, &pool, s->eqnZone, s->eqnSink);
            acolset(fms, rows, &pool, s->eqnSink, s->eqnZone);
        }
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        const Reaction* r = static_cast<const Reaction*>(n->rxn);
        if (!r || !(n->flags & NF_VOLUME)) continue;
        for (int t = 0; t < r->n; t++) {
            if (!inGroup(sys, r->prod[t]) || !inGroup(sys, r->src[t])) continue;
            int row = n->mfEqn[r->prod[t]], col = n->mfEqn[r->src[t]];
            if (row != col) acolset(fms, rows, &pool, row, col);
        }
    }
    int* ijaS = acol_struct(fms, rows, neq, nelem, "mf-ijaS");
    fre_ec(fms, pool, "mf-acol");
    fre_vt(fms, rows, 1, atLeast1(neq));
    return ijaS;
}

// The reordering looks at a symmetric structure: reactions couple one way only.
static int* symmetricCopy(FlowmirState* fms, const int* ijaS, int neq, int* nelem)
{
    ColEntry** rows = alc_vt<ColEntry*>(fms, 1, atLeast1(neq), "mf-rows");
    MemBlock* pool = alc_eci(fms, ACOL_BLOCK_SIZE, "mf-acol");
    for (int i = 1; i <= neq; i++)
        for (int k = ijaS[i]; k < ijaS[i + 1]; k++) {
            acolset(fms, rows, &pool, i, ijaS[k]);
            acolset(fms, rows, &pool, ijaS[k], i);
        }
    int* sym = acol_struct(fms, rows, neq, nelem, "mf-ijaS");
    fre_ec(fms, pool, "mf-acol");
    fre_vt(fms, rows, 1, atLeast1(neq));
    return sym;
}

static bool symmetric(const int* ijaS, int neq)
{
    for (int i = 1; i <= neq; i++)
        for (int k = ijaS[i]; k < ijaS[i + 1]; k++) {
            int c = ijaS[k];
            bool found = false;
            for (int q = ijaS[c]; q < ijaS[c + 1] && !found; q++) found = ijaS[q] == i;
            if (!found) return false;
        }
    return true;
}

static void renumber(FlowmirState* fms, MfSystem* sys, const int* perm)
{
    for (AirNode* n = fms->nodeList; n; n = n->next)
        for (int j = sys->first; j < sys->end; j++) n->mfEqn[j] = perm[n->mfEqn[j]];
    for (CseSink* lists[2] = {sys->bls, sys->dvr}; CseSink* head : lists)
        for (CseSink* s = head; s; s = s->next) {
            s->eqnSink = perm[s->eqnSink];
            s->eqnZone = perm[s->eqnZone];
        }
}

// Renumbers the solved equations to a smaller profile; true when the numbering changed.
static bool optimiseOrder(FlowmirState* fms, MfSystem* sys, int** ijaS, int* nelem)
{
    int* perm = alc_vt<int>(fms, 1, atLeast1(sys->neq), "perm");
    int symLen = 0;
    int* sym = symmetric(*ijaS, sys->neq) ? nullptr : symmetricCopy(fms, *ijaS, sys->neq, &symLen);
    bool changed = ija_optord(fms, sym ? sym : *ijaS, perm, sym ? symLen : *nelem, sys->neq, sys->nvar);
    if (sym) fre_vt(fms, sym, 1, symLen);
    if (changed) {
        ija_reorder(fms, *ijaS, perm, *nelem, sys->neq);
        renumber(fms, sys, perm);
    }
    fre_vt(fms, perm, 1, atLeast1(sys->neq));
    return changed;
}

static const char* methodText(int method)
{
    switch (method) {
    case 0: return "non-symmetric SKYline method.\n";
    case 1: return "Biconjugate Gradient method.\n";
    case 2: return "Successive Over-Relaxation method.\n";
    default: return "LU decomposition method.\n";
    }
}

// The positions of the link couplings, looked up once.
static void linkPositions(FlowmirState* fms, MfSystem* sys)
{
    int ns = sys->end - sys->first;
    int n = atLeast1(fms->nafpt * ns);
    sys->posNM = alc_vt<int>(fms, 1, n, "mf-posNM");
    sys->posMN = alc_vt<int>(fms, 1, n, "mf-posMN");
    for (AirLink* l = fms->linkList; l; l = l->next)
        for (int j = sys->first; j < sys->end; j++) {
            int k = (l->nr - 1) * ns + (j - sys->first) + 1;
            int eN = l->nodeN->mfEqn[j], eM = l->nodeM->mfEqn[j];
            sys->posNM[k] = sa_find(sys->ija, eN, eM);
            sys->posMN[k] = sa_find(sys->ija, eM, eN);
        }
}

void mf_mem_set(FlowmirState* fms, MfSystem* sys, CseSink* blsSinks, CseSink* dvrSinks, int firstSpecies,
                int endSpecies, int numberingFlag, float theta, int method, int maxIter, float tol, float floor,
                float relax)
{
    sys->first = firstSpecies;
    sys->end = endSpecies;
    sys->bls = blsSinks;
    sys->dvr = dvrSinks;
    sys->nbls = countList(blsSinks);
    sys->ndvr = countList(dvrSinks);
    sys->theta = theta;
    sys->nvar = numberEquations(fms, sys, numberingFlag, &sys->neq);

    int nvz = 0, nvj = 0, ncz = 0;
    for (const AirNode* n = fms->nodeList; n; n = n->next) {
        if (variableZone(n)) nvz++;
        else if (n->styp != NODE_ZONE) nvj++;
        else ncz++;
    }
    LOG(fms, "\nSet up Mf matrix:\n");
    LOG(fms, "%4d boundary layer sink nodes\n", sys->nbls);
    LOG(fms, "%4d deposition/resuspension nodes\n", sys->ndvr);
    LOG(fms, "%4d variable Mf zone nodes\n", nvz);
    LOG(fms, "%4d variable Mf jctn nodes\n", nvj);
    LOG(fms, "%4d constant Mf zone nodes\n", ncz);
    LOG(fms, "%4d contaminants\n", endSpecies - firstSpecies);

    int nelem = 0;
    int* ijaS = buildPattern(fms, sys, &nelem);
    int entries = nelem - sys->neq - 1;
    LOG(fms, "  Number of equations: %d\n", sys->neq);
    LOG(fms, "    Non-zero elements: %d\n", entries - sys->neq);
    LOG(fms, "Initial fill fraction: %.3f\n",
        sys->neq > 0 ? (double)entries / ((double)sys->neq * sys->neq) : 0.0);
    LOG(fms, " Matrix Profile Analysis:\n");
    double profile = 0.0;
    ija_prfl(fms, sys->nvar, ijaS, &profile);
    LOG(fms, "Solve simultaneous linear equations by %s", methodText(method));
    if (method == 0 && numberingFlag && (!fms->steadyOnly || profile > REORDER_PROFILE)) {
        if (optimiseOrder(fms, sys, &ijaS, &nelem)) {
            LOG(fms, " Optimized Matrix:\n");
            ija_prfl(fms, sys->nvar, ijaS, &profile);
        }
    }
    if (fms->listLevel > 0) sa_show(logStream(fms), sys->neq, ijaS);

    sys->nnz = ija_minset_count(ijaS, sys->neq, 0);
    sys->ija = alc_vt<int>(fms, 1, sys->nnz, "mfmem-ija");
    ija_minset(ijaS, sys->ija, sys->neq, 0);
    fre_vt(fms, ijaS, 1, nelem);
    int n = atLeast1(sys->neq);
    sys->K = alc_vt<double>(fms, 1, sys->nnz, "mfmem-K");
    sys->A = alc_vt<double>(fms, 1, sys->nnz, "mfmem-A");
    sys->e = alc_vt<double>(fms, 1, n, "mfmem-e");
    sys->b = alc_vt<double>(fms, 1, n, "mfmem-b");
    sys->M = alc_vt<double>(fms, 1, n, "mfmem-M");
    sys->x = alc_vt<double>(fms, 1, n, "mfmem-x");
    sys->ic = alc_vt<double>(fms, 1, n, "mfmem-ic");
    linkPositions(fms, sys);
    sasn_newInit(&sys->solver);
    if (sys->nvar > 0)
        sasn_configure(fms, &sys->solver, sys->neq, sys->nvar, sys->ija, method, maxIter, tol, floor, relax);
}

void mf_mem_fre(FlowmirState* fms, MfSystem* sys)
{
    if (!sys) return;
    sasn_free(fms, &sys->solver);
    int n = atLeast1(sys->neq);
    fre_vt(fms, sys->ija, 1, sys->nnz);
    fre_vt(fms, sys->K, 1, sys->nnz);
    fre_vt(fms, sys->A, 1, sys->nnz);
    fre_vt(fms, sys->e, 1, n);
    fre_vt(fms, sys->b, 1, n);
    fre_vt(fms, sys->M, 1, n);
    fre_vt(fms, sys->x, 1, n);
    fre_vt(fms, sys->ic, 1, n);
    int ns = atLeast1(fms->nafpt * (sys->end - sys->first));
    fre_vt(fms, sys->posNM, 1, ns);
    fre_vt(fms, sys->posMN, 1, ns);
}

// The numbering in the log: each node's equation per species, then the sinks'.
static void listSystem(FlowmirState* fms, const MfSystem* sys)
{
    LOG(fms, "\n%s\n", sys->title);
    LOG(fms, " Node | source |");
    for (int j = sys->first; j < sys->end; j++) LOG(fms, " %4s", fms->ctm[j].name);
    LOG(fms, "\n");
    for (const AirNode* n = fms->nodeList; n; n = n->next) {
        LOG(fms, "%5d : %4d%c :", n->nr, n->s_nr, nodeKind(n));
        for (int j = sys->first; j < sys->end; j++) LOG(fms, " %4d", n->mfEqn[j]);
        LOG(fms, "\n");
    }
    LOG(fms, "  [z = zone, j = junction, t = terminal]\n");
    const struct {
        const CseSink* list;
        const char* title;
    } sinks[] = {{sys->bls, "Boundary layer sink node numbers:\n"},
                 {sys->dvr, "Deposition/resuspension sink node numbers:\n"}};
    for (const auto& k : sinks) {
        if (!k.list) continue;
        LOG(fms, "%s", k.title);
        LOG(fms, "  S/S |  eqn |  ctm\n");
        for (const CseSink* s = k.list; s; s = s->next)
            LOG(fms, "%5d : %4d :  %s\n", s->nr, s->eqnSink, fms->ctm[s->species].name);
    }
}

static MfSystem* newSystem(FlowmirState* fms, const char* label, const char* title, int nonTrace)
{
    MfSystem* sys = static_cast<MfSystem*>(alc_e(fms, sizeof(MfSystem), label));
    memset(sys, 0, sizeof *sys);
    sys->title = title;
    sys->nonTrace = nonTrace;
    return sys;
}

// Every node's per-species equation numbers, from the run's records.
static void nodeEquationArrays(FlowmirState* fms)
{
    for (AirNode* n = fms->nodeList; n; n = n->next)
        n->mfEqn = pool_arrayt<int32_t>(fms, &fms->msBlock, fms->nctm, "mfEqn");
}

void mf_systems_init(FlowmirState* fms)
{
    if (fms->nctm <= 0 || fms->mfsolver == 1 || fms->mfsim <= 0) return;
    if (fms->nNonTrace == 1)
        error(fms, FATAL, __FILE__, __LINE__, "Cannot process only one non-trace contaminant", "");
    nodeEquationArrays(fms);
    if (fms->mfsolver >= 2) {
        LOG(fms, "\nCombined Mass Transfer Equations:\n");
        MfSystem* sys = newSystem(fms, "MFn_mat", "Contaminants", fms->nNonTrace > 0);
        sys->instances = fms->css[0];
        const FlowmirState::MfSettings& s = fms->mfCombined;
        mf_mem_set(fms, sys, fms->bls[0], fms->dvr[0], 0, fms->nctm, s.numbering, fms->mfNontrace.theta, s.method,
                   s.maxIter, s.tol, s.floor, s.relax);
        fms->mfn = sys;
        if (fms->listLevel > 0) listSystem(fms, sys);
        return;
    }
    if (fms->nNonTrace > 1) {
        LOG(fms, "\nNon-trace Mass Transfer Equations:\n");
        MfSystem* sys = newSystem(fms, "MFn_mat", "Non-trace contaminants", 1);
        sys->instances = fms->css[1];
        const FlowmirState::MfSettings& s = fms->mfNontrace;
        mf_mem_set(fms, sys, fms->bls[1], fms->dvr[1], 0, fms->nNonTrace, s.numbering, s.theta, s.method, s.maxIter,
                   s.tol, s.floor, s.relax);
        fms->mfn = sys;
        fms->solveNontrace = 1;
        fms->trackBases = 1;  // the air masses follow the non-trace species
        if (fms->listLevel > 0) listSystem(fms, sys);
    }
    if (fms->nctm > fms->nNonTrace) {
        LOG(fms, "\nTrace Species Mass Transfer Equations:\n");
        MfSystem* sys = newSystem(fms, "MFt_mat", "Trace contaminants", 0);
        sys->instances = fms->css[0];
        const FlowmirState::MfSettings& s = fms->mfTrace;
        mf_mem_set(fms, sys, fms->bls[0], fms->dvr[0], fms->nNonTrace, fms->nctm, s.numbering, s.theta, s.method,
                   s.maxIter, s.tol, s.floor, s.relax);
        fms->mft = sys;
        fms->solveTrace = 1;
        if (fms->listLevel > 0) listSystem(fms, sys);
    }
}

void mf_systems_free(FlowmirState* fms)
{
    const struct {
        MfSystem** sys;
        const char* label;
    } all[] = {{&fms->mfn, "MFn_mat"}, {&fms->mft, "MFt_mat"}};
    for (const auto& k : all) {
        if (!*k.sys) continue;
        mf_mem_fre(fms, *k.sys);
        fre_e(fms, *k.sys, sizeof(MfSystem), k.label);
        *k.sys = nullptr;
    }
}
