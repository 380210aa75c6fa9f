// Source/sink models: each turns the time, the instance's scale and its zone's state into the
// step's generation rate G and removal coefficient R.
#include <cmath>

#include "engine/siminit.h"
#include "network/airnet.h"
#include "transport/cse.h"

static void start(const FlowmirState* fms, CseInstance* c)
{
    c->started = 1;
    c->startDay = fms->dayofy;
    c->startTime = fms->stepEndTime;
}

template <class T> static const T* params(const CseInstance* c)
{
    return static_cast<const T*>(c->element->data);
}

void cse_ccf(FlowmirState*, CseInstance* c)
{
    const CseCcf* p = params<CseCcf>(c);
    double s = (double)*c->sched * c->mult;
    c->G = p->G0 * s;
    c->R = p->R0 * s;
}

void cse_cut(FlowmirState*, CseInstance* c)
{
    const CseCut* p = params<CseCut>(c);
    double s = (double)*c->sched * c->mult;
    c->G = p->G0 * s;
    c->R = (double)p->G0 / p->Ccut * s;
}

// Emits only while the zone is below the ambient pressure at its height.
void cse_prs(FlowmirState*, CseInstance* c)
{
    const CsePrs* p = params<CsePrs>(c);
    double dP = c->zoneNode ? c->zoneNode->Pgage : 0.0;
    c->G = dP < 0.0 ? p->C * std::pow(-dP, (double)p->n) * *c->sched * c->mult : 0.0;
    c->R = 0.0;
}

void cse_dvs(FlowmirState*, CseInstance* c)
{
    const CseDvs* p = params<CseDvs>(c);
    c->G = 0.0;
    c->R = (double)p->vd * c->zoneNode->rho * p->A * c->mult * *c->sched;
}

void cse_drs(FlowmirState*, CseInstance* c)
{
    const CseDrs* p = params<CseDrs>(c);
    c->G = 0.0;
    c->R = (double)c->zoneNode->V * c->zoneNode->rho * p->k * c->mult * *c->sched;
}

// One release of M x S x m over the step of each rising edge of the scale. The evaluation of
// the initial condition (no time step) does not start it: its mass would never be released.
void cse_brs(FlowmirState* fms, CseInstance* c)
{
    const CseBrs* p = params<CseBrs>(c);
    double S = *c->sched;
    c->G = c->R = 0.0;
    if (!c->started) {
        if (S <= 0.0 || fms->rdt == 0.0f) return;
        start(fms, c);
    } else if (S <= 0.0) {
        c->started = 0;
        return;
    }
    if (timeElapsed(fms, c->startDay, c->startTime) == 0) c->G = (double)fms->rdt * p->M * S * c->mult;
}

// A triggered emission decays from its start, also after the scale returns to 0.
void cse_eds(FlowmirState* fms, CseInstance* c)
{
    const CseEds* p = params<CseEds>(c);
    double S = *c->sched;
    c->G = 0.0;
    if (S <= 0.0) {
        c->started = 0;
    } else if (!c->started) {
        start(fms, c);
        c->G0 = S * p->G0 * c->mult;
    }
    if (c->G0 > 0.0) c->G = c->G0 * std::exp(-(double)p->k * timeElapsed(fms, c->startDay, c->startTime));
}

void cse_plm(FlowmirState* fms, CseInstance* c)
{
    const CsePlm* p = params<CsePlm>(c);
    if (!c->started) {
        if (*c->sched <= 0.0f) {
            c->G = c->R = 0.0;
            return;
        }
        start(fms, c);
        c->G0 = p->a * std::pow(p->tmin / 3600.0, -(double)p->n);
    }
    int t = timeElapsed(fms, c->startDay, c->startTime);
    double rate = t <= p->tmin ? c->G0 : p->a * std::pow(t / 3600.0, -(double)p->n);
    c->G = rate * c->mult;
    c->R = 0.0;
}

// The peak's log-normal shape has no value before its start: G is 0 there.
void cse_pkm(FlowmirState* fms, CseInstance* c)
{
    const CsePkm* p = params<CsePkm>(c);
    c->G = c->R = 0.0;
    if (!c->started) {
        if (*c->sched > 0.0f) start(fms, c);
        return;
    }
    int t = timeElapsed(fms, c->startDay, c->startTime);
    if (t <= 0) return;
    double x = std::log(t * (double)p->rtp) * p->rsigma;
    c->G = p->Gp * (double)c->mult * std::exp(-0.5 * x * x);
}

// Starts as plm; true when the model is running.
static bool startOnce(FlowmirState* fms, CseInstance* c)
{
    if (c->started) return true;
    if (*c->sched <= 0.0f) {
        c->G = c->R = 0.0;
        return false;
    }
    start(fms, c);
    return true;
}

void cse_sxd(FlowmirState* fms, CseInstance* c)
{
    if (!startOnce(fms, c)) return;
    const CseSxd* p = params<CseSxd>(c);
    double h = timeElapsed(fms, c->startDay, c->startTime) / 3600.0;
    c->G = p->a * std::exp(-(double)p->k * h) * c->mult / 3.6e9;
    c->R = 0.0;
}

void cse_dxd(FlowmirState* fms, CseInstance* c)
{
    if (!startOnce(fms, c)) return;
    const CseDxd* p = params<CseDxd>(c);
    double h = timeElapsed(fms, c->startDay, c->startTime) / 3600.0;
    c->G = (p->a1 * std::exp(-(double)p->k1 * h) + p->a2 * std::exp(-(double)p->k2 * h)) * c->mult / 3.6e9;
    c->R = 0.0;
}

// Sinks with a state of their own take their coefficients from bls_ and dvr_coefficients.
void cse_bls(FlowmirState*, CseInstance*) {}
void cse_dvr(FlowmirState*, CseInstance*) {}

void bls_coefficients(FlowmirState*, BlsSink* s)
{
    const CseBls* p = static_cast<const CseBls*>(s->element->data);
    s->a = (double)*s->sched * p->h * p->rhof * s->mult;
    s->b = s->a / p->K;
}

// Deposition goes on whatever the scale; the scale only governs resuspension.
void dvr_coefficients(FlowmirState*, DvrSink* s)
{
    const CseDvr* p = static_cast<const CseDvr*>(s->element->data);
    s->a = (double)p->A * s->mult * p->vd * s->zoneNode->rho;
    s->b = (double)*s->sched * p->f * p->r;
}
