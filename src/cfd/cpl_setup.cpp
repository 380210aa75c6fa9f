// Setting up the coupling of the CFD zone, and releasing it at the end of the run.
#include <cstring>

#include "airflow/afe.h"
#include "cfd/cpl.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"

static const char* const PASS_LABELS[] = {"pcomputed", "pused",  "mbefore", "mafter", "Plocal",
                                          "Plocal1",   "ctmcoe", "ctmexp",  "cfdetp"};

static double** passArray(CplPath* p, int a)
{
    double** all[] = {&p->pcomputed, &p->pused,  &p->mbefore, &p->mafter, &p->Plocal,
                      &p->Plocal1,   &p->ctmcoe, &p->ctmexp,  &p->cfdetp};
    return all[a];
}

// The coupling's own meaning of a node-flag value: whether the pressure and the mass fractions
// are solved by the network. The assembly's other bits (volume, storage, ...) stay as they were.
void cpl_set_flags(AirNode* n, uint32_t flags0, int value)
{
    const uint32_t mine = NF_VARP | NF_MASSFRAC;
    n->flags = (flags0 & ~mine) | ((uint32_t)value & mine);
}

void decpl(FlowmirState* fms, int value)
{
    CplState* c = fms->cpl;
    if (!c || c->mode == 1) return;
    for (int z = 1; z <= c->nzone; z++)
        cpl_set_flags(c->zone[z].node, c->zone[z].flags0, value);
}

static AirNode* findCfdZone(FlowmirState* fms)
{
    AirNode* found = nullptr;
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (!n->isCfd) continue;
        // The solver holds one grid: one zone can be coupled.
        if (found)
            errorf(fms, FATAL, __FILE__, __LINE__,
                   "Only one CFD zone can be coupled: zones %s and %s are both CFD zones", found->name,
                   n->name);
        found = n;
    }
    if (!found)
        errorf(fms, FATAL, __FILE__, __LINE__, "CFD coupling mode %d but no zone is a CFD zone",
               fms->cfdMode);
    return found;
}

static void checkRun(FlowmirState* fms, CplState* c)
{
    if (fms->afsim >= 2)
        error(fms, FATAL, __FILE__, __LINE__,
              "CFD coupling does not apply to duct balancing or building tests", "");
    // The coupling loops sit in the implicit solution: the other transport methods would step
    // past them silently.
    if (fms->mfsolver != 0 && (fms->afsim == 1 || c->ctmOn))
        error(fms, FATAL, __FILE__, __LINE__, "CFD coupling requires the implicit transport solver", "");
    if (c->ctmOn && fms->nctm > CFD_MAXC)
        errorf(fms, FATAL, __FILE__, __LINE__,
               "CFD contaminant coupling holds at most %d contaminants: the project simulates %d", CFD_MAXC,
               fms->nctm);
}

// Paths with the zone at either end, in path order; their keys name the CFD case's openings.
static void collectPaths(FlowmirState* fms, CplState* c, CplZone& z)
{
    CplPath** tail = &z.paths;
    int errors = 0;
    for (AirLink* l = fms->linkList; l; l = l->next) {
        if (l->nodeN != z.node && l->nodeM != z.node) continue;
        // The CFD case knows openings only: a duct would meet a zone pressure on the CFD's scale.
        if (l->styp != LINK_PATH) {
            errorf(fms, ERROR, __FILE__, __LINE__,
                   "%s of junction %d opens into CFD zone %s: only paths can be coupled",
                   l->styp == LINK_LEAK ? "Duct leak" : "Duct terminal", l->s_nr, z.node->name);
            errors++;
            continue;
        }
        if (l->cfd != 1 || l->cfdKey[0] == '\0') {
            errorf(fms, ERROR, __FILE__, __LINE__, "Path %d joins CFD zone %s but has no CFD key", l->s_nr,
                   z.node->name);
            errors++;
            continue;
        }
        for (CplPath* q = z.paths; q; q = q->next)
            if (!strcmp(q->name, l->cfdKey)) {
                errorf(fms, ERROR, __FILE__, __LINE__, "CFD key %s of path %d repeats that of path %d",
                       l->cfdKey, l->s_nr, q->nr);
                errors++;
            }
        CplPath* p = static_cast<CplPath*>(alc_e(fms, sizeof(CplPath), "cplpp"));
        p->link = l;
        p->nr = l->s_nr;
        snprintf(p->name, sizeof p->name, "%s", l->cfdKey);
        for (int k = 0; k < 3; k++)
            p->data[k] = l->cfdData[k];
        p->kind = c->mode == 3 ? CPL_PRESSURE : CPL_FLOW;
        if (c->mode == 2) p->data[1] = 0;
        p->cfdIsN = l->nodeN == z.node;
        p->other = p->cfdIsN ? l->nodeM : l->nodeN;
        p->hOther = p->cfdIsN ? l->dHm : l->dHn;
        p->hCfd = p->cfdIsN ? l->dHn : l->dHm;
        if (c->ctmOn) {
            p->Crate1 = alc_vt<double>(fms, 1, c->nc, "Crate1");
            p->Crate2 = alc_vt<double>(fms, 1, c->nc, "Crate2");
        }
        l->cplp = p;
        *tail = p;
        tail = &p->next;
        z.npath++;
    }
    if (errors)
        errorf(fms, FATAL, __FILE__, __LINE__,
               "CFD zone %s cannot be coupled: %d error(s) in its connections", z.node->name, errors);
}

static void transientChecks(FlowmirState* fms, CplState* c)
{
    if (!c->ctmOn) return;
    if (fms->mfsim == 0)
        error(fms, FATAL, __FILE__, __LINE__,
              "Contaminant calculation is not enabled while trying to couple contaminant", "");
    if (fms->mfsim == 2 && fms->cfdRestart)
        error(fms, FATAL, __FILE__, __LINE__, "Restart is not allowed for coupled unsteady flow calculation",
              "");
    if (fms->mfsim == 3)
        error(fms, FATAL, __FILE__, __LINE__, "Contaminant coupling does not apply to cyclic", "");
    if (c->mode != 1) decpl(fms, 9);
}

static void steadyChecks(FlowmirState* fms, CplState* c)
{
    if (!c->ctmOn) return;
    if (fms->mfsim == 3)
        error(fms, FATAL, __FILE__, __LINE__, "Contaminant coupling does not apply to cyclic", "");
    if (fms->cfdRestart) {
        cpl_restart_read(fms);
        if (c->mode == 3) c->mode = 2;
    } else {
        cpl_restart_open(fms);
    }
    if (c->mode != 1) decpl(fms, 9);
}

void getcpl(FlowmirState* fms)
{
    if (fms->cfdMode == 0) return;
    CplState* c = static_cast<CplState*>(alc_e(fms, sizeof(CplState), "cplms-block"));
    fms->cpl = c;
    c->mode = fms->cfdMode;
    c->ctmOn = fms->mfsim > 0 && fms->nctm > 0;
    if (fms->cfdRestart && fms->mfsim == 0)
        error(fms, FATAL, __FILE__, __LINE__,
              "Restart file (cpr) should be used for contaminant calculation only", "");
    checkRun(fms, c);
    c->nc = c->ctmOn ? fms->nctm : 0;

    AirNode* node = findCfdZone(fms);
    c->nzone = 1;
    c->zone = alc_vt<CplZone>(fms, 1, c->nzone, "cfdzone");
    CplZone& z = c->zone[1];
    z.node = node;
    z.nr = node->s_nr;
    z.flags0 = node->flags;
    z.hgt = node->hgt;
    z.V = node->V;

    CfdRun* r = cfd_run(fms);
    cfd_set_base(fms, node->name);
    r->cfdSteady = fms->afsim == 1 ? 0 : 1;
    collectPaths(fms, c, z);
    cfd_open(fms, &z.cmo, ".cmo");
    cfd_open(fms, &r->monf, ".mon");

    // The CFD pressures are measured against the air of the CFD zone itself.
    c->rhoRef = node->rho;
    c->passes = c->mode == 3 ? fms->cfdMaxIter : 1;
    if (c->passes < 1)
        errorf(fms, FATAL, __FILE__, __LINE__, "CFD coupling: %d coupling iterations allowed", c->passes);

    if (fms->afsim == 1)
        transientChecks(fms, c);
    else
        steadyChecks(fms, c);

    for (CplPath* p = z.paths; p; p = p->next)
        for (int a = 0; a < 9; a++)
            *passArray(p, a) = alc_vt<double>(fms, 1, c->passes + 1, PASS_LABELS[a]);
    c->cfdniter = alc_vt<long>(fms, 0, c->passes + 1, "cfdniter");
    LOG(fms, "CFD zone %s coupled in mode %d: %d path(s)\n", node->name, c->mode, z.npath);
}

void cpl_free(FlowmirState* fms)
{
    CplState* c = fms->cpl;
    if (!c) return;
    for (int zi = 1; zi <= c->nzone; zi++) {
        CplZone& z = c->zone[zi];
        // The equations were numbered with the flags of the set-up.
        if (z.node) z.node->flags = z.flags0;
        for (CplPath* p = z.paths; p;) {
            CplPath* next = p->next;
            for (int a = 0; a < 9; a++)
                if (*passArray(p, a)) fre_vt(fms, *passArray(p, a), 1, c->passes + 1);
            if (p->Crate1) fre_vt(fms, p->Crate1, 1, c->nc);
            if (p->Crate2) fre_vt(fms, p->Crate2, 1, c->nc);
            if (p->link) p->link->cplp = nullptr;
            fre_e(fms, p, sizeof(CplPath), "cplpp");
            p = next;
        }
    }
    fre_vt(fms, c->zone, 1, c->nzone);
    if (c->cfdniter) fre_vt(fms, c->cfdniter, 0, c->passes + 1);
    fre_e(fms, c, sizeof(CplState), "cplms-block");
    fms->cpl = nullptr;
}
