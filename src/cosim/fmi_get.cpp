// Results a host reads after a step: zone mass fractions, path, terminal and leak flows,
// control outputs and the contaminant leaving through the envelope.
#include "airflow/pressures.h"
#include "controls/ctrl.h"
#include "cosim/cosim.h"
#include "flowmir/fmi.h"
#include "network/airnet.h"
#include "transport/filter.h"

extern "C" int fmiGetZoneMF(FlowmirState* fms, int zone, int ctm, double* mf)
{
    if (!mf) return 1;
    AirNode* n = cosim_zone(fms, zone);
    if (!n) return 2;
    if (ctm < 0 || ctm >= fms->nctm || !n->Mf) return 3;
    *mf = n->Mf[ctm];
    return 0;
}

extern "C" int fmiGetZoneVolume(FlowmirState* fms, int zone, float* volume)
{
    if (!fms->cosimLists.zones) return 1;
    if (!volume) return 2;
    AirNode* n = cosim_zone(fms, zone);
    if (!n) return 3;
    *volume = n->V;
    return 0;
}

// A node's humidity ratio: the ambient's own, else from the water-vapour species if any.
static double humidityRatio(const FlowmirState* fms, const AirNode* n)
{
    if (n == fms->ambt) return fms->Wambt;
    if (fms->iH2O < 0 || fms->iH2O >= fms->nctm || !n->Mf) return 0.0;
    double x = n->Mf[fms->iH2O];
    return x < 1.0 ? x / (1.0 - x) : 0.0;
}

static double moistDensity(const FlowmirState* fms, double T, double W)
{
    return PsyRhoAirFnPbTdbW(fms->Pambt, T - 273.15, W);
}

enum { LF_SYSTEM = LF_AHS | LF_AHR | LF_AHO | LF_AHX };

// System flows, terminals and leaks take the downstream air's temperature, dry.
static double downstreamVolumeFlow(const FlowmirState* fms, const AirLink* l)
{
    const AirNode* down = l->dP >= 0.0 ? l->nodeM : l->nodeN;
    return l->Flow[0] / moistDensity(fms, down->T, 0.0);
}

static int linkFlow(const FlowmirState* fms, AirLink* const* list, int n, int i, double* F)
{
    if (!F) return 1;
    if (!list) return 2;
    if (i < 1 || i > n) return 3;
    const AirLink* l = list[i];
    *F = fms->useVolumeFlows ? downstreamVolumeFlow(fms, l) : l->Flow[0];
    return 0;
}

extern "C" int fmiGetTermFlow(FlowmirState* fms, int term, double* F)
{
    const FlowmirState::CosimLists& c = fms->cosimLists;
    return linkFlow(fms, c.terms, c.nterm, term, F);
}

extern "C" int fmiGetLeakFlow(FlowmirState* fms, int leak, double* F)
{
    const FlowmirState::CosimLists& c = fms->cosimLists;
    return linkFlow(fms, c.leaks, c.nleak, leak, F);
}

extern "C" int fmiGetOutputControlValue(FlowmirState* fms, int index, float* value)
{
    if (!value) return 1;
    const FlowmirState::CosimLists& c = fms->cosimLists;
    if (c.nonode <= 0 || !c.onodes) return 2;
    if (index < 1 || index > c.nonode) return 3;
    *value = c.onodes[index]->out;
    return 0;
}

// The mass carried out to the ambient in this step, filters applied.
extern "C" int fmiGetEnvelopeExfil(FlowmirState* fms, int env, int ctm, double* mass)
{
    if (!mass) return 1;
    const FlowmirState::CosimLists& c = fms->cosimLists;
    if (!c.env || env < 1 || env > c.nenv || !c.env[env]) return 2;
    if (ctm < 0 || ctm >= fms->nctm) return 3;
    const AirLink* l = c.env[env];
    const float* f = filter_get_eff(fms, l);
    double dt = fms->time_step, m = 0.0;
    for (int d = 0; d < 2; d++) {
        double F = l->Flow[d];
        if (F > 0.0 && l->nodeN != fms->ambt && l->nodeN->Mf) m += f[ctm] * F * l->nodeN->Mf[ctm] * dt;
        if (F < 0.0 && l->nodeN == fms->ambt && l->nodeM->Mf) m -= f[ctm] * F * l->nodeM->Mf[ctm] * dt;
    }
    *mass = m;
    return 0;
}

extern "C" int fmiGetPathFlows(FlowmirState* fms, int path, double* F0, double* F1)
{
    if (!F0 || !F1) return 1;
    if (!fms->cosimLists.paths) return 2;
    AirLink* l = cosim_path(fms, path);
    if (!l) return 3;
    *F0 = l->Flow[0];
    *F1 = l->Flow[1];
    if (!fms->useVolumeFlows) return 0;
    bool forward = l->dP >= 0.0;
    if (l->flags & LF_SYSTEM) {
        *F0 = downstreamVolumeFlow(fms, l);
        return 0;
    }
    const AirNode* up = forward ? l->nodeN : l->nodeM;
    double T, W;
    if (up == fms->ambt) {
        T = up->T;
        W = humidityRatio(fms, up);
    } else {
        T = 0.5 * (l->nodeN->T + l->nodeM->T);
        W = 0.5 * (humidityRatio(fms, l->nodeN) + humidityRatio(fms, l->nodeM));
    }
    double rho = moistDensity(fms, T, W);
    *F0 /= rho;
    *F1 /= rho;
    return 0;
}
