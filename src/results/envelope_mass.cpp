// Envelope mass accounting. Mass leaving is carried at the upstream node's mass fractions;
// mass entering at the fractions the transport itself gives that link's outdoor end, which
// may be a wind-pressure file's per-opening values rather than the ambient node's.
#include "results/envelope_mass.h"

#include "controls/occupancy.h"
#include "network/airnet.h"
#include "project/components.h"
#include "results/cex_file.h"
#include "support/heap.h"
#include "support/log.h"
#include "transport/cse.h"
#include "transport/filter.h"

static bool onEnvelope(const FlowmirState* fms, const AirLink* l)
{
    return fms->ambt && (l->nodeN == fms->ambt || l->nodeM == fms->ambt);
}

// The system whose three paths include this one; 0 when none does.
static int systemOf(const FlowmirState* fms, const AirLink* l)
{
    if (l->styp != LINK_PATH || !fms->AhsLst) return 0;
    for (int i = 1; i <= fms->nahs; i++) {
        const Ahs* a = fms->AhsLst[i];
        if (!a) continue;
        for (int k = 0; k < 3; k++)
            if (a->pathNr[k] == l->s_nr) return a->nr;
    }
    return 0;
}

void EnvListsCsmCex_setup(FlowmirState* fms)
{
    int n = 0;
    for (const AirLink* l = fms->linkList; l; l = l->next)
        if (onEnvelope(fms, l)) n++;
    fms->nenvp = n;
    bool listing = fms->bcexres || fms->dcexres;
    if (n > 0 && (fms->csmOut || listing)) {
        fms->EnvPaths_All = alc_vt<AirLink*>(fms, 1, n, "EnvPaths_All");
        int i = 0;
        for (AirLink* l = fms->linkList; l; l = l->next)
            if (onEnvelope(fms, l)) fms->EnvPaths_All[++i] = l;
        int nc = fms->nctm;
        if (nc > 0) {
            fms->Env_MdotOut_step = alc_vt<double>(fms, 0, nc - 1, "Env_MdotOut_step");
            fms->Env_MdotIn_step = alc_vt<double>(fms, 0, nc - 1, "Env_MdotIn_step");
            fms->Env_MassOut_sum = alc_vt<double>(fms, 0, nc - 1, "Env_MassOut_sum");
            fms->Env_MassIn_sum = alc_vt<double>(fms, 0, nc - 1, "Env_MassIn_sum");
            if (listing) fms->Env_MassOut_list = alc_vt<double>(fms, 0, nc - 1, "Env_MassOut_list");
            if (fms->dcexres)
                fms->Env_MassPath =
                    static_cast<double**>(alc_mc(fms, 0, nc - 1, 1, n, sizeof(double), "Env_MassPath"));
        }
        if (fms->dcexres) {
            // The column heads name an exhaust path by its system, and the systems' list is
            // gone by the time the listings are opened.
            fms->EnvPaths_Ahs = alc_vt<int>(fms, 1, n, "EnvPaths_Ahs");
            for (int k = 1; k <= n; k++) fms->EnvPaths_Ahs[k] = systemOf(fms, fms->EnvPaths_All[k]);
        }
    }
    fms->Env_Time = 0.0;
    LOG(fms, "  %d envelope paths|terminals|leaks for CSM/CEX\n", n);
}

void EnvListsCsmCex_free(FlowmirState* fms)
{
    int n = fms->nenvp, nc = fms->nctm;
    fre_vt(fms, fms->EnvPaths_All, 1, n);
    fre_vt(fms, fms->EnvPaths_Ahs, 1, n);
    fre_vt(fms, fms->Env_MdotOut_step, 0, nc - 1);
    fre_vt(fms, fms->Env_MdotIn_step, 0, nc - 1);
    fre_vt(fms, fms->Env_MassOut_sum, 0, nc - 1);
    fre_vt(fms, fms->Env_MassIn_sum, 0, nc - 1);
    fre_vt(fms, fms->Env_MassOut_list, 0, nc - 1);
    if (fms->Env_MassPath) fre_mc(fms, fms->Env_MassPath, 0, nc - 1, 1, n, sizeof(double));
    fms->Env_MassPath = nullptr;
    fms->nenvp = 0;
}

// The fractions a flow entering from the ambient carries at this link.
static const double* inflowFractions(const AirLink* l, bool fromN)
{
    const AirNode* amb = fromN ? l->nodeN : l->nodeM;
    const double* src = fromN ? l->srcN : l->srcM;
    return src ? src : amb->Mf;
}

void sum_ambient_compute(FlowmirState* fms, double dt)
{
    int nc = fms->nctm;
    if (!fms->EnvPaths_All || nc <= 0 || !fms->Env_MdotOut_step) {
        fms->Env_Time += dt;
        return;
    }
    double* in = fms->Env_MdotIn_step;
    double* out = fms->Env_MdotOut_step;
    for (int c = 0; c < nc; c++) in[c] = out[c] = 0.0;
    double** byPath = fms->Env_MassPath;
    const AirNode* amb = fms->ambt;
    for (int k = 1; k <= fms->nenvp; k++) {
        const AirLink* l = fms->EnvPaths_All[k];
        const float* f = filter_get_eff(fms, l);
        for (int d = 0; d < 2; d++) {
            double F = l->Flow[d];
            if (F > 0.0) {
                if (l->nodeN == amb) {
                    const double* w = inflowFractions(l, true);
                    for (int c = 0; c < nc; c++) in[c] += f[c] * F * w[c];
                }
                if (l->nodeM == amb) {
                    const double* w = l->nodeN->Mf;
                    for (int c = 0; c < nc; c++) {
                        double m = f[c] * F * w[c];
                        out[c] += m;
                        if (byPath) byPath[c][k] += dt * m;
                    }
                }
            } else if (F < 0.0) {
                if (l->nodeN == amb) {
                    const double* w = l->nodeM->Mf;
                    for (int c = 0; c < nc; c++) {
                        double m = f[c] * F * w[c];
                        out[c] -= m;
                        if (byPath) byPath[c][k] -= dt * m;
                    }
                }
                if (l->nodeM == amb) {
                    const double* w = inflowFractions(l, false);
                    for (int c = 0; c < nc; c++) in[c] -= f[c] * F * w[c];
                }
            }
        }
    }
    for (int c = 0; c < nc; c++) {
        fms->Env_MassOut_sum[c] += dt * out[c];
        fms->Env_MassIn_sum[c] += dt * in[c];
        if (fms->Env_MassOut_list) fms->Env_MassOut_list[c] += dt * out[c];
    }
    fms->Env_Time += dt;
}

void process_mf_results(FlowmirState* fms)
{
    for (int g = 0; g < 2; g++) sumCseGenRemoveMass(fms, fms->css[g], fms->bls[g], fms->dvr[g], fms->dt);
    sumOccSourceMass(fms);
    process_mf_exchange(fms);
}

void process_mf_exchange(FlowmirState* fms)
{
    if (fms->nExposures > 0) exposures_step(fms);
    if (!fms->mfsim) return;
    bool listing = fms->bcexres || fms->dcexres;
    if (fms->csmOut) sum_filter_compute(fms, fms->time_step);
    if (fms->csmOut || listing) sum_ambient_compute(fms, fms->dt);
    if (listing) writeCex_stepEnd(fms, fms->stepEndTime);
}
