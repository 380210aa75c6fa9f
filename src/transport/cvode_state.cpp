// The integrator's state: species masses of the nodes and sinks, and the node mass fractions
// and sink values they stand for.
#include "network/airnet.h"
#include "support/error.h"
#include "transport/cse.h"
#include "transport/cvode.h"

static bool variable(const AirNode* n)
{
    return (n->flags & NF_MASSFRAC) != 0;
}

static double surfaceArea(const DvrSink* s)
{
    return (double)static_cast<const CseDvr*>(s->element->data)->A * s->mult;
}

void getNodeSpeciesMasses(FlowmirState* fms, double* y, BlsSink* blsSinks, DvrSink* dvrSinks, int first, int end)
{
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        double M = variable(n) ? n->M : 1.0;
        for (int j = first; j < end; j++) y[n->mfEqn[j]] = M * n->Mf[j];
    }
    for (BlsSink* s = blsSinks; s; s = s->next) y[s->eqnSink] = s->capacity * s->Cs;
    for (DvrSink* s = dvrSinks; s; s = s->next) y[s->eqnSink] = surfaceArea(s) * s->Cs;
}

void setNodeConcs_fromSpeciesMasses(FlowmirState* fms, const double* y, double* x, BlsSink* blsSinks,
                                    DvrSink* dvrSinks, int first, int nNonTrace, int end)
{
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (!variable(n)) {
            for (int j = first; j < end; j++) x[n->mfEqn[j]] = n->Mf[j];
            continue;
        }
        // The non-trace species make up the air: their masses are its mass.
        if (nNonTrace > 0) {
            double M = 0.0;
            for (int j = 0; j < nNonTrace; j++) M += y[n->mfEqn[j]];
            n->M = M;
        }
        double rM = 1.0 / n->M;
        for (int j = first; j < end; j++) {
            int eq = n->mfEqn[j];
            n->Mf[j] = x[eq] = y[eq] * rM;
        }
    }
    for (BlsSink* s = blsSinks; s; s = s->next) s->Cs = x[s->eqnSink] = y[s->eqnSink] / s->capacity;
    for (DvrSink* s = dvrSinks; s; s = s->next) s->Cs = x[s->eqnSink] = y[s->eqnSink] / surfaceArea(s);
}

void adjustNodeSpeciesMassDerivs(FlowmirState* fms, double* dydt, int first, int end)
{
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (variable(n)) {
            if (!(n->M > 0.0)) error(fms, FATAL, __FILE__, __LINE__, "Massless node unsupported", "");
            continue;
        }
        for (int j = first; j < end; j++) dydt[n->mfEqn[j]] = 0.0;
    }
}
