// One airflow-coupling pass: the openings described from the network's solution, the decision
// whether the CFD runs again, the run, and the reports once the two sides agree.
#include <cmath>

#include "airflow/afe.h"
#include "airflow/afe_models.h"
#include "cfd/cpl.h"
#include "support/error.h"
#include "support/log.h"

static bool powerLaw(int type)
{
    return type >= AFE_PLR_ORFC && type <= AFE_PLR_SHAFT;
}

// Each path as the CFD will see it: direction, flow and the power law through its operating
// point ("outnimbal").
static void describe(FlowmirState* fms, CplState* c)
{
    CplZone& z = c->zone[1];
    AirNode* n = z.node;
    z.T = n->T;
    z.P = n->P;
    z.rho = n->rho;
    z.V = n->V;
    c->rhoRef = n->rho;
    z.nin = z.nout = 0;
    int k = c->it + 1;
    for (CplPath* p = z.paths; p; p = p->next) {
        AirLink* l = p->link;
        int type = l->elem ? l->elem->type : -1;
        p->flow = l->Flow[0] + l->Flow[1];
        p->dP = l->dP;
        p->Pw = l->windP ? *l->windP : 0.0;
        if (powerLaw(type)) {
            p->outlet = p->cfdIsN ? p->dP >= 0.0 : p->dP <= 0.0;
            if (c->restartRead && fms->afsim != 1 && fms->cfdMode == 3) p->outlet = p->rstOutlet;
            double expt = static_cast<const AfePlr*>(l->elem->data)->expt;
            if (fabs(p->dP) <= 1e-10) {
                p->coe = 1e10;
                p->expn = 1.0;
                p->flow = 0.0;
            } else {
                p->coe = fabs(p->flow) / pow(fabs(p->dP), expt);
                p->expn = expt;
            }
        } else if (type == AFE_FAN_CMF || type == AFE_FAN_CVF || type == AFE_AHS_SR) {
            p->outlet = p->cfdIsN;
            p->kind = CPL_FLOW;
        } else {
            error(fms, FATAL, __FILE__, __LINE__, "outnimbal(): this flow element is not supported currently",
                  "");
        }
        p->mPrev = p->m;
        p->m = p->cfdIsN ? -p->flow : p->flow;
        if (p->m > 0.0 || (p->m == 0.0 && !p->outlet))
            z.nin++;
        else
            z.nout++;
        p->Pbc = cpl_boundary_pressure(fms, p);
        p->pcomputed[k] = p->Pbc;
        p->mbefore[k] = p->m;
        p->ctmcoe[k] = p->coe;
        p->ctmexp[k] = p->expn;
    }
}

// Relative change of the paths' flows since the last pass, against the flow entering the zone.
int cpl_agree(FlowmirState* fms, CplState* c)
{
    double change = 0.0, in = 0.0;
    for (CplPath* p = c->zone[1].paths; p; p = p->next) {
        change += fabs(p->m - p->mPrev);
        if (p->m > 0.0) in += p->m;
    }
    if (!(in > 0.0)) return 0;
    double r = change / in;
    return r >= 0.0 && r <= fms->cfdTol;
}

static void announce(FlowmirState* fms, const char* format, int it)
{
    if (!fms->quiet) {
        fprintf(stderr, format, it);
        fflush(stderr);
    }
    cfd_bal(fms, format, it);
}

void cpl_run_cfd(FlowmirState* fms, int runFlow, int runCtm)
{
    CplState* c = fms->cpl;
    CfdRun* r = fms->cfdRun;
    CplZone& z = c->zone[1];
    r->zoneT = z.node->T;
    r->zoneRho = z.node->rho;
    r->runFlow = runFlow;
    r->runCtm = runCtm;
    if (flow(fms, 1) != 0) error(fms, FATAL, __FILE__, __LINE__, "Error during CFD run", "");
    r->restartPass = 0;
}

// The monitor series the coupling opened gets its head once the case has been read.
void cpl_mon_header(FlowmirState* fms)
{
    CplState* c = fms->cpl;
    if (c->monHeader) return;
    cfd_mon_header(fms, fms->cfdRun->cfdSteady);
    c->monHeader = 1;
}

// The decision of this pass: 1 when the CFD runs.
static int decide(FlowmirState* fms, CplState* c)
{
    if (c->mode == 1 || c->mode == 2) {
        if (c->it != 0) return 0;
        c->it = 1;
        return 1;
    }
    if (c->mode != 3) return 0;
    if (c->it < c->passes) {
        // The first two passes always run: the second is the first with CFD pressures.
        if (c->it < 2 || !cpl_agree(fms, c)) {
            c->it++;
            return 1;
        }
        c->converged = 1;
        announce(fms, "\nAirflow coupling converge at iteration %d\n", c->it);
    } else {
        errorf(fms, WARNING, __FILE__, __LINE__, "Airflow coupling did not converge at iteration %d", c->it);
        announce(fms, "\nAirflow coupling did not converge at iteration %d\n", c->it);
    }
    c->done = 1;
    // The contaminants are solved with a CFD flow field of the final boundary values.
    return fms->mfsim > 0;
}

int cplloop(FlowmirState* fms)
{
    CplState* c = fms->cpl;
    if (!c) return 0;
    CfdRun* r = fms->cfdRun;
    describe(fms, c);
    if (c->it == 0 || (fms->cfdReportInterval > 0 && c->it % fms->cfdReportInterval == 0))
        cpl_report_pass(fms);

    c->k = c->it + 1;
    int run = decide(fms, c);
    if (!fms->cfdRun->dat.fp) cfd_open(fms, &r->dat, ".dat");
    if ((c->done || c->mode == 1 || c->mode == 2) && c->ctmOn) c->ctmActive = 1;
    if (run) {
        if (c->restartRead && c->k == 1) r->restartPass = 1;
        cpl_run_cfd(fms, 1, 0);
        if (c->mode == 1 || c->mode == 2) {
            c->converged = 1;
            c->done = 1;
        }
    } else if (c->k > 1) {
        // The final pass without a run reports the CFD values its flows were checked against.
        for (CplPath* p = c->zone[1].paths; p; p = p->next) {
            p->pused[c->k] = p->pused[c->k - 1];
            p->mafter[c->k] = p->mafter[c->k - 1];
            p->Plocal[c->k] = p->Plocal[c->k - 1];
            p->Plocal1[c->k] = p->Plocal1[c->k - 1];
            p->cfdetp[c->k] = p->cfdetp[c->k - 1];
        }
        c->cfdniter[c->k] = c->cfdniter[c->k - 1];
    }
    if (!c->done) return 1;

    cpl_mon_header(fms);
    storeflow(fms);
    cpl_report_converged(fms);
    if (c->cpr.fp) cpl_restart_write(fms);
    // A restarted mode 3 solves the network once more with the restart's CFD pressures.
    int again = fms->cfdMode == 3 && fms->afsim != 1 && c->restartRead;
    c->restartRead = 0;
    c->it = 0;
    c->converged = c->done = 0;
    if (fms->mfsim > 0 && c->mode != 1) decpl(fms, 9);
    return again;
}
