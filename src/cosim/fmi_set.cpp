// Boundary conditions a host sets before a step. Values that are not numbers, infinite, or
// outside their physical range are refused: a NaN would pass any "below 0" test and then
// poison the whole solution.
#include <cmath>

#include "cosim/cosim.h"
#include "flowmir/fmi.h"
#include "network/airnet.h"
#include "support/log.h"

// Absolute temperatures and pressures.
static bool positive(double v)
{
    return std::isfinite(v) && v > 0.0;
}

static bool nonNegative(double v)
{
    return std::isfinite(v) && v >= 0.0;
}

extern "C" int fmiSetAmbtTemperature(FlowmirState* fms, float T)
{
    if (!positive(T)) return 1;
    fms->Tambt = T;
    if (fms->ambt) fms->ambt->T = T;
    if (fms->echo > 0) LOG(fms, "fmiSetAmbtTemperature(%f)\n", (double)T);
    return 0;
}

extern "C" int fmiSetAmbtPressure(FlowmirState* fms, float P)
{
    if (!positive(P)) return 1;
    fms->Pambt = P;
    if (fms->echo > 0) LOG(fms, "fmiSetAmbtPressure(%f)\n", (double)P);
    return 0;
}

extern "C" int fmiSetAmbtWndSpd(FlowmirState* fms, float speed)
{
    if (!nonNegative(speed)) return 1;
    fms->Wspd = speed;
    if (fms->echo > 0) LOG(fms, "fmiSetAmbtWndSpd(%f)\n", (double)speed);
    return 0;
}

extern "C" int fmiSetAmbtWndDir(FlowmirState* fms, float dir)
{
    if (!std::isfinite(dir) || dir < 0.0f || dir > 360.0f) return 1;
    fms->Wdir = dir;
    if (fms->echo > 0) LOG(fms, "fmiSetAmbtWndDir(%f)\n", (double)dir);
    return 0;
}

extern "C" int fmiSetAmbtHumRatio(FlowmirState* fms, float W)
{
    if (!nonNegative(W)) return 1;
    fms->Wambt = W;
    // The ambient node carries humidity as its water-vapour mass fraction.
    if (fms->iH2O >= 0 && fms->iH2O < fms->nctm && fms->ambt && fms->ambt->Mf)
        fms->ambt->Mf[fms->iH2O] = W / (1.0 + W);
    if (fms->echo > 0) LOG(fms, "fmiSetAmbtHumRatio(%f)\n", (double)W);
    return 0;
}

extern "C" int fmiSetZoneTemperature(FlowmirState* fms, int zone, double T)
{
    AirNode* n = cosim_zone(fms, zone);
    if (!n) return 1;
    if (!positive(T)) return 2;
    n->T = T;
    return 0;
}

extern "C" int fmiSetAmbtMassFraction(FlowmirState* fms, int ctm, double x)
{
    LOG(fms, "fmiSetAmbtMassFraction(%d, %f)\n", ctm, x);
    if (ctm < 0 || ctm >= fms->nctm || !fms->ambt || !fms->ambt->Mf) return 1;
    if (!nonNegative(x)) return 2;
    fms->ambt->Mf[ctm] = x;
    return 0;
}

extern "C" int fmiSetZoneAddMass(FlowmirState* fms, int zone, int ctm, double mass)
{
    LOG(fms, "fmiSetZoneAddMass(%d %d %g)\n", zone, ctm, mass);
    AirNode* n = cosim_zone(fms, zone);
    if (!n) return 1;
    if (!nonNegative(mass)) return 2;
    if (ctm < 0 || ctm >= fms->nctm || !n->Mf) return 3;
    double addMf = n->M > 0.0 ? mass / n->M : 0.0;
    double before = n->Mf[ctm];
    n->Mf[ctm] += addMf;
    if (fms->echo > 1)
        LOG(fms, "Add %g kg of contaminant #%d to zone #%d: mZone %g addMf %g, Mf before %g after %g\n", mass, ctm,
            zone, n->M, addMf, before, n->Mf[ctm]);
    // The implicit solver reloads the node values into its solution before its next step.
    fms->mfConcsChanged = 1;
    return 0;
}
