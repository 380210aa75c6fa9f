// Results a host reads after a step: zone mass fractions and path flows.
#include "airflow/pressures.h"
#include "cosim/cosim.h"
#include "flowmir/fmi.h"
#include "network/airnet.h"

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
        // System flows take the downstream air's temperature, dry.
        const AirNode* down = forward ? l->nodeM : l->nodeN;
        *F0 /= moistDensity(fms, down->T, 0.0);
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
