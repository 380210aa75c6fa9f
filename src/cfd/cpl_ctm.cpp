// Contaminant coupling: the CFD carries the contaminants through its zone; the air leaving it
// brings the CFD's concentrations to the neighbouring nodes as sources, and the neighbours'
// concentrations enter the CFD with the air coming in.
#include <cmath>

#include "cfd/cpl.h"
#include "support/error.h"
#include "transport/mfsystem.h"

static bool entering(const CplPath* p)
{
    return !p->outlet && !p->cfdOut;
}

static bool leaving(const CplPath* p)
{
    return p->outlet && p->cfdOut;
}

// Relative disagreement between the concentrations the CFD took in with the air entering it
// and the network's at the nodes that air comes from. The air leaving the CFD zone is not
// compared: a node downstream with storage or other inflows never takes the CFD's outflow
// concentration, and a node fed by it alone always has it.
static double disagreement(CplState* c)
{
    double diff = 0.0, sum = 0.0;
    for (CplPath* p = c->zone[1].paths; p; p = p->next) {
        if (!entering(p) || !p->other->Mf) continue;
        for (int m = 1; m <= c->nc; m++) {
            double x = p->other->Mf[m - 1];
            diff += fabs(p->Crate2[m] - x);
            sum += x;
        }
    }
    return diff / (sum + 1e-6);
}

static void announce(FlowmirState* fms, const char* format, int it)
{
    if (!fms->quiet) {
        fprintf(stderr, format, it);
        fflush(stderr);
    }
    cfd_bal(fms, format, it);
}

int comctm(FlowmirState* fms)
{
    CplState* c = fms->cpl;
    if (!c || !c->ctmActive) return 0;
    if (c->mode == 1) {
        cpl_run_cfd(fms, 0, 1);
        cpl_mon_header(fms);
        storectm(fms);
        return 0;
    }
    double r = disagreement(c);
    cpl_run_cfd(fms, 0, 1);
    c->ctmIt++;
    int again = (fms->afsim != 1 && c->ctmIt == 1) || (r > 0.001 && c->ctmIt <= 100);
    if (again) return 1;
    if (r > 0.001) {
        if (fms->mfsim == 3)
            errorf(fms, FATAL, __FILE__, __LINE__,
                   "\nContaminant coupling reach the maximum iteration %d\n\n", c->ctmIt);
        announce(fms, "\nContaminant coupling reach the maximum iteration %d\n\n", c->ctmIt);
    } else {
        announce(fms, "\nContaminant coupling converge at iteration %d\n\n", c->ctmIt);
    }
    cpl_mon_header(fms);
    storectm(fms);
    cpl_report_ctm(fms);
    if (fms->mfsim == 2) setCmon(fms, 1);
    c->ctmIt = 0;
    return 0;
}

int inctmctm(FlowmirState* fms, MfSystem* sys, int apply)
{
    CplState* c = fms->cpl;
    if (!apply || !c || c->mode == 1 || !c->ctmActive) return 0;
    for (CplPath* p = c->zone[1].paths; p; p = p->next) {
        AirNode* n = p->other;
        if (n == fms->ambt || !leaving(p) || !(n->flags & NF_MASSFRAC) || !n->mfEqn) continue;
        for (int j = sys->first; j < sys->end; j++) {
            if (j + 1 > c->nc) break;
            int eq = n->mfEqn[j];
            if (eq < 1 || eq > sys->neq) return 1;
            sys->e[eq] += fabs(p->flow * p->Crate2[j + 1]);
        }
    }
    return 0;
}

void setCmon(FlowmirState* fms, int mode)
{
    CplState* c = fms->cpl;
    CfdRun* r = fms->cfdRun;
    if (!c || c->mode == 1 || !r || r->nc == 0 || !r->C[1]) return;
    CfdRange all = {{2, 2, 2}, {r->ni + 1, r->nj + 1, r->nk + 1}};
    for (int m = 1; m <= r->nc && m <= CFD_MAXC; m++) {
        if (mode == 1)
            c->cmon[m] = r->C[m][r->mon[0]][r->mon[1]][r->mon[2]];
        else if (mode == 2)
            c->cmon[m] = avePHI(fms, r->C[m], all);
        else
            c->cmon[m] = 0.0;
    }
}
