// Boundary conditions a host sets before a step. Values that are not numbers, infinite, or
// outside their physical range are refused: a NaN would pass any "below 0" test and then
// poison the whole solution.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "controls/ctrl.h"
#include "cosim/cosim.h"
#include "flowmir/fmi.h"
#include "network/airnet.h"
#include "support/log.h"
#include "support/timeconv.h"

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

extern "C" int fmiSetZoneHumRatio(FlowmirState* fms, int zone, double W)
{
    AirNode* n = cosim_zone(fms, zone);
    if (!n) return 1;
    if (!nonNegative(W)) return 2;
    // A zone carries humidity as its water-vapour mass fraction; without that species the
    // airflow treats all air as dry and the value has nowhere to go.
    if (fms->iH2O >= 0 && fms->iH2O < fms->nctm && n->Mf) {
        n->Mf[fms->iH2O] = W / (1.0 + W);
        fms->mfConcsChanged = 1;
    }
    return 0;
}

extern "C" int fmiSetJunctionTemperature(FlowmirState* fms, int jct, double T)
{
    const FlowmirState::CosimLists& c = fms->cosimLists;
    if (!c.jcts || jct < 1 || jct > c.njct || !c.jcts[jct]) return 1;
    if (!positive(T)) return 2;
    c.jcts[jct]->T = T;
    return 0;
}

// The ones a system path is left multiplying with once the host sets its flow.
static float kOneHost = 1.0f;

extern "C" int fmiSetSupplyReturnPathFlow(FlowmirState* fms, int path, float flow)
{
    const FlowmirState::CosimLists& c = fms->cosimLists;
    if (path < 1 || path > fms->npath) return 1;
    if (!nonNegative(flow)) return 2;
    if (!c.paths || path > c.npath) return 3;
    AirLink* l = c.paths[path];
    if (!(l->flags & LF_AHS)) return 4;
    l->designFlow = flow;
    l->ctrl = &kOneHost;
    return 0;
}

extern "C" int fmiSetAHSPercentOA(FlowmirState* fms, int ahs, float fraction)
{
    FlowmirState::CosimLists& c = fms->cosimLists;
    if (ahs < 1 || ahs > fms->nahs) return 1;
    if (!std::isfinite(fraction) || fraction < 0.0f || fraction > 1.0f) return 2;
    if (!c.oaps || !c.oapValues || ahs > c.noap || !c.oaps[ahs]) return 3;
    c.oapValues[ahs] = fraction;
    c.oaps[ahs]->ctrl = &c.oapValues[ahs];
    return 0;
}

extern "C" int fmiSetInputControlValue(FlowmirState* fms, int index, float value)
{
    const FlowmirState::CosimLists& c = fms->cosimLists;
    if (!c.inodes || index < 1 || index > c.ninode) return 1;
    if (!std::isfinite(value)) return 2;
    c.inodes[index]->out = value;
    return 0;
}

// The clock of the trace lines; a time past midnight (a host stepping beyond the run) is not
// one to report as an error.
static const char* clockText(FlowmirState* fms, char* out)
{
    int t = fms->stepEndTime;
    if (t < 0 || t > 86400) {
        snprintf(out, 16, "%d s", t);
        return out;
    }
    timestr(fms, t, out);
    return out;
}

extern "C" int fmiSetEnvelopeWP(FlowmirState* fms, int env, float pressure)
{
    if (env < 1 || env > fms->nenv) return 2;
    if (!fms->wPenv || !fms->wSign || !fms->_wPBridge) return 3;
    if (!std::isfinite(pressure)) return 1;
    fms->wPenv[env] = pressure * fms->wSign[env];
    char when[16];
    if (fms->echo > 0) LOG(fms, "setEnvelopeWP(%d, %g), time: %s\n", env, (double)pressure, clockText(fms, when));
    return 0;
}

extern "C" int fmiSetEnvelopeMF(FlowmirState* fms, int env, int ctm, double x)
{
    FlowmirState::CosimLists& c = fms->cosimLists;
    if (!nonNegative(x)) return 1;
    if (env < 1 || env > c.nenv) return 2;
    if (ctm < 0 || ctm >= fms->nctm) return 3;
    if (!c.envMf || !c.env[env]) return 4;
    AirLink* l = c.env[env];
    // The opening leaves the ambient's fractions for its own row.
    if (l->nodeN == fms->ambt && l->srcN != c.envMf[env]) {
        memcpy(c.envMf[env], fms->ambt->Mf, sizeof(double) * fms->nctm);
        l->srcN = c.envMf[env];
    }
    if (l->nodeM == fms->ambt && l->srcM != c.envMf[env]) {
        memcpy(c.envMf[env], fms->ambt->Mf, sizeof(double) * fms->nctm);
        l->srcM = c.envMf[env];
    }
    c.envMf[env][ctm] = x;
    char when[16];
    if (fms->echo > 0) LOG(fms, "setEnvelopeMF(%d, %d, %g), time: %s\n", env, ctm, x, clockText(fms, when));
    return 0;
}
