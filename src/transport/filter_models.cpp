// The filter models: each sets a filter record's efficiencies and penetrations for the step.
// Efficiencies stay within [0, 1] whatever the curve or formula gives, so that a filter never
// adds mass to the flow nor removes more than it carries.
#include <cmath>

#include "airflow/spline.h"
#include "engine/siminit.h"
#include "network/airnet.h"
#include "support/log.h"
#include "support/timeconv.h"
#include "transport/filter.h"
#include "transport/species.h"

static float clampUnit(double v)
{
    if (!(v > 0.0)) return 0.0f;
    return v > 1.0 ? 1.0f : (float)v;
}

static void setEff(FilterData* fd, int j, double eff)
{
    float e = clampUnit(eff);
    fd->eff[j] = e;
    fd->penf[j] = 1.0f - e;
}

// Constant efficiencies change only when a new set is given.
static void constantEff(FlowmirState* fms, FilterData* fd)
{
    if (!fd->changed) return;
    const FltCef* c = static_cast<const FltCef*>(fd->element->data);
    for (int j = 0; j < fms->nctm; j++)
        setEff(fd, j, c->eff[j]);
    fd->changed = 0;
}

void flt_cef(FlowmirState* fms, FilterData* fd, const AirLink*)
{
    constantEff(fms, fd);
}

void flt_pf0(FlowmirState* fms, FilterData* fd, const AirLink*)
{
    constantEff(fms, fd);
}

static void breakthrough(FlowmirState* fms, FilterData* fd, int j)
{
    fd->bkday[j] = fms->dayofy;
    fd->bktime[j] = fms->stepEndTime;
    char date[16], time[16];
    if (!datestr(fms, fms->dayofy, date)) date[0] = '\0';
    if (!timestr(fms, fms->stepEndTime, time)) time[0] = '\0';
    LOG(fms, " Breakthrough in %s of %s on %s at %s\n", fd->element->name, fms->ctm[j].name, date, time);
}

void flt_gf0(FlowmirState* fms, FilterData* fd, const AirLink*)
{
    FilterElement* el = fd->element;
    const FltGf0* g = static_cast<const FltGf0*>(el->data);
    for (int j = 0; j < fms->nctm; j++) {
        Gf0Fit* fit = g->fit[j];
        if (!fit) continue;
        double dydx;
        setEff(fd, j, CSFintrp(fd->relLoad, fit->n, fit->pts, &fit->cursor, &dydx, nullptr));
        if (el->trackBreakthrough && fd->bkday[j] == 0 && g->bkeff[j] >= fd->eff[j]) breakthrough(fms, fd, j);
    }
}

// Dose of the lamp for the path's forward flow: 1 without one.
static double uvDose(FlowmirState* fms, const FltUv1* u, const AirLink* path)
{
    double F = path->Flow[0];
    if (!(F > 0.0) || !path->nodeN) return 1.0;
    const AirNode* from = path->nodeN;
    double rho = from->rho;
    double t = from->T - 273.15;
    double x = F / (u->Qrel * rho);
    double r = (u->c0 + u->c1 * t + u->c2 * x + u->c3 * t * t + u->c4 * x * x) / 100.0;
    r = clampUnit(r);
    double o = 1.0;
    if (u->agingOn > 0) {
        int s = timeElapsed(fms, fms->date0, fms->time0);
        if (s > 0) {
            o = (u->a0 + u->a1 * std::log(s / 3600.0)) / 100.0;
            if (o < 0.0) o = 0.1;
            if (o > 1.0) o = 1.0;
        }
    }
    return u->D0 * r * o * rho * u->flowRated / (1.2041 * F);
}

void flt_uv1(FlowmirState* fms, FilterData* fd, const AirLink* path)
{
    const FltUv1* u = static_cast<const FltUv1*>(fd->element->data);
    double D = uvDose(fms, u, path);
    for (int j = 0; j < fms->nctm; j++)
        setEff(fd, j, 1.0 - std::exp(-fms->ctm[j].kUV * D));
}

// The stages in flow order; the filter passes the product of their penetrations.
void flt_spf(FlowmirState* fms, FilterData* fd, const AirLink* path)
{
    for (int j = 0; j < fms->nctm; j++)
        fd->penf[j] = 1.0f;
    for (FilterData* sub = fd->nextSub; sub; sub = sub->nextSub) {
        if (!sub->element || !sub->element->model) continue;
        sub->element->model(fms, sub, path);
        for (int j = 0; j < fms->nctm; j++)
            fd->penf[j] *= sub->penf[j];
    }
    for (int j = 0; j < fms->nctm; j++)
        fd->eff[j] = 1.0f - fd->penf[j];
}

static FilterData* topOf(const AirLink* path)
{
    const Filter* f = path ? static_cast<const Filter*>(path->filter) : nullptr;
    return f ? f->top : nullptr;
}

const float* filter_sim(FlowmirState* fms, const AirLink* path)
{
    FilterData* top = topOf(path);
    if (!top) return fms->penf1;
    if (top->element && top->element->model) top->element->model(fms, top, path);
    return top->penf;
}

const float* filter_get_eff(FlowmirState* fms, const AirLink* path)
{
    FilterData* top = topOf(path);
    return top ? top->penf : fms->penf1;
}
