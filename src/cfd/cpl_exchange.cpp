// What the network and the CFD tell each other about an opening.
//
// The CFD's pressures lie on its own scale: the network pressure at height Z plus
// rhoRef g Z, so that still air of the reference density has one pressure at every height.
// Pressures go to the CFD as the far side's pressure at the opening on that scale; the CFD's
// pressure at the opening comes back to the network as the CFD side's column term, both such
// that equal pressures on the two sides mean no flow, whichever node of the path the CFD zone is.
#include <cmath>

#include "cfd/cpl.h"
#include "support/error.h"
#include "support/log.h"

// The pressure change from a node up to a height dH above it, as the stack terms form it.
double cpl_column(FlowmirState* fms, const AirNode* n, float dH)
{
    double g = fms->gravity;
    if (fms->stackD) {
        if (dH == 0.0f) return 0.0;
        return (exp(-g * dH / (n->T * n->R)) - 1.0) * (fms->Pambt + n->P);
    }
    return -g * dH * n->rho;
}

// The reference air's weight from the ground up to the opening: the shift between the
// network's pressure scale and the CFD's.
double cpl_ref_column(FlowmirState* fms, const AirLink* l)
{
    return (double)l->Z * (double)fms->gravity * fms->cpl->rhoRef;
}

// The wind pressure acts on the first node's side of a link.
static double farWind(const CplPath* p)
{
    double w = p->link->windP ? *p->link->windP : 0.0;
    return p->cfdIsN ? -w : w;
}

double cpl_boundary_pressure(FlowmirState* fms, const CplPath* p)
{
    const AirNode* o = p->other;
    return o->P + cpl_column(fms, o, p->hOther) + farWind(p) + cpl_ref_column(fms, p->link);
}

int innimbal_loc(FlowmirState* fms, AirLink* link, double* out1, double* out2)
{
    CplState* c = fms->cpl;
    CplPath* p = link->cplp;
    if (!c || !p || p->kind != CPL_PRESSURE || !p->haveCfd) return 0;
    CplZone& z = c->zone[1];
    AirNode* cfd = z.node;
    // The CFD fixes the zone's pressure level; the network solves the rest around it.
    cpl_set_flags(cfd, z.flags0, NF_MASSFRAC);
    cfd->P = fms->cfdRun ? fms->cfdRun->pz : 0.0;
    double open = p->PL - cpl_ref_column(fms, link); // network scale
    double cfdSide = open - cfd->P;
    double farSide = cpl_column(fms, p->other, p->hOther);
    *out1 = p->cfdIsN ? cfdSide : farSide;
    *out2 = p->cfdIsN ? farSide : cfdSide;
    p->scale = p->coe != 0.0 ? fabs(p->mCfd / p->coe) * link->mult : 0.0;
    return 1;
}

static CplPath* pathOf(CplZone& z, const char* name)
{
    for (CplPath* p = z.paths; p; p = p->next)
        if (!strcmp(p->name, name)) return p;
    return nullptr;
}

static void giveOpening(FlowmirState* fms, CplPath* p, CfdOpening* o, bool isOutlet)
{
    CplState* c = fms->cpl;
    int outlet = p->outlet;
    double Pbc = p->Pbc, coe = p->coe, expn = p->expn;
    if (c->restartPending) {
        outlet = p->rstOutlet;
        Pbc = p->rstPbc;
        coe = p->rstCoe;
        expn = p->rstExp;
    }
    if (outlet != 0 && outlet != 1)
        errorf(fms, FATAL, __FILE__, __LINE__,
               "Wrong inlet or outlet type from NIMBAL, check outnimbal() %s %d %d", p->name, outlet, p->nr);
    // Every opening carries the path's flow; a pressure-type one the CFD's own flow once it has
    // one, the flow of the field a contaminant-only call keeps (a flow solution replaces it).
    if (o->type == CFD_PRESSURE) {
        o->P = Pbc;
        o->coe = coe;
        o->expn = expn;
        o->mass = p->haveCfd ? p->mCfd : p->m;
    } else if (o->type == CFD_FLOW || (isOutlet && o->type == CFD_CLOSED)) {
        o->mass = p->m;
    }
    const AirNode* from = outlet ? c->zone[1].node : p->other;
    o->T = from->T;
    for (int m = 1; m <= c->nc && m <= CFD_MAXC; m++)
        o->c[m] = p->other->Mf ? p->other->Mf[m - 1] : 0.0;
    p->pused[c->k] = o->type == CFD_PRESSURE ? Pbc : 0.0;
}

static void refuse(FlowmirState* fms, const char* why, const char* name, const char* zone)
{
    LOG(fms, why, name, zone);
    error(fms, FATAL, __FILE__, __LINE__, "Error when getting boundary conditions from NIMBAL", "");
}

// Each opening of the case stands for one path, each path for one opening.
static void matchAll(FlowmirState* fms, CplZone& z, CfdOpening* list, int n, bool isOutlet, int call)
{
    for (int i = 1; i <= n; i++) {
        CplPath* p = pathOf(z, list[i].name);
        if (!p)
            refuse(fms, "CFD opening %s is not the CFD key of a path of zone %s\n", list[i].name,
                   z.node->name);
        if (p->matched == call)
            refuse(fms, "CFD opening %s appears twice in the case of zone %s\n", list[i].name, z.node->name);
        p->matched = call;
        giveOpening(fms, p, &list[i], isOutlet);
    }
}

void incfd(FlowmirState* fms)
{
    CplState* c = fms->cpl;
    CfdRun* r = fms->cfdRun;
    if (!c || !r) return;
    LOG(fms, "===== incfd() =====\n");
    CplZone& z = c->zone[1];
    // Every coupled path needs its opening in the case.
    for (CplPath* p = z.paths; p; p = p->next)
        cfd_opening(fms, p->name);
    int call = r->calls;
    matchAll(fms, z, r->in, r->nin, false, call);
    matchAll(fms, z, r->out, r->nout, true, call);
    c->restartPending = 0;
    // The pressure-type openings fix the CFD's pressure level: their lowest boundary pressure.
    r->hasPressure = 0;
    for (int pass = 0; pass < 2; pass++) {
        CfdOpening* list = pass ? r->out : r->in;
        for (int i = 1; i <= (pass ? r->nout : r->nin); i++) {
            if (list[i].type != CFD_PRESSURE) continue;
            if (!r->hasPressure || list[i].P < r->pbMin) r->pbMin = list[i].P;
            r->hasPressure = 1;
        }
    }
}

void outcfd(FlowmirState* fms)
{
    CplState* c = fms->cpl;
    CfdRun* r = fms->cfdRun;
    if (!c || !r) return;
    CplZone& z = c->zone[1];
    for (CplPath* p = z.paths; p; p = p->next) {
        CfdOpening* o = cfd_opening(fms, p->name);
        // A contaminant-only call keeps the flow field, and so the flows, of the last one.
        if (r->runFlow) {
            p->mCfd = o->mass;
            p->PL = o->pmean;
            p->cfdOut = o->mass < 0.0;
            p->haveCfd = 1;
            p->mafter[c->k] = p->mCfd;
            p->Plocal[c->k] = p->PL;
            p->Plocal1[c->k] = p->PL - cpl_ref_column(fms, p->link);
            p->scale = p->coe != 0.0 ? fabs(p->mCfd / p->coe) * p->link->mult : 0.0;
            p->cfdetp[c->k] = p->scale;
        }
        if (!c->ctmOn) continue;
        if (fms->nctm == 0)
            error(fms, FATAL, __FILE__, __LINE__,
                  p->cfdOut ? "Number of contamiant is zero for coupled contaminant simulation"
                            : "Number of contaminant is zero for coupled contaminant simulation",
                  "");
        for (int m = 1; m <= c->nc; m++) {
            p->Crate1[m] = p->Crate2[m];
            p->Crate2[m] = fabs(o->cout[m]);
        }
    }
    if (r->runFlow) c->cfdniter[c->k] = r->iter;
}
