// Network assembly in its fixed order: ambient, envelope lists, duct networks, duct volumes,
// nodes, links, implicit elements, checks and reports.
#include "network/sim_data.h"

#include "airflow/afe_models.h"
#include "controls/ctrl.h"
#include "controls/occupancy.h"
#include "network/sim_parts.h"
#include "results/envelope_mass.h"
#include "transport/cse.h"
#include "transport/mfsystem.h"
#include "transport/species.h"
#include "transport/sts.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"

template <class T> static T* optArray(FlowmirState* fms, int n, const char* name)
{
    return n > 0 ? alc_vt<T>(fms, 1, n, name) : nullptr;
}

template <class T> static void optFree(FlowmirState* fms, T*& a, int n)
{
    if (n > 0) fre_vt(fms, a, 1, n);
    a = nullptr;
}

void sim_build_alloc(FlowmirState* fms, SimBuild* b)
{
    *b = SimBuild{};
    b->zoneNode = optArray<AirNode*>(fms, fms->nzone, "zoneNode");
    b->jctNode = optArray<AirNode*>(fms, fms->njct, "jctNode");
    b->seg = optArray<DuctSeg*>(fms, fms->ndct, "ductSeg");
    b->jctNet = optArray<int>(fms, fms->njct, "jctNet");
    b->pathEnv = optArray<int>(fms, fms->npath, "pathEnv");
    b->jctEnv = optArray<int>(fms, fms->njct, "jctEnv");
    b->pathLoc = optArray<int>(fms, fms->npath, "pathLoc");
    b->jctLoc = optArray<int>(fms, fms->njct, "jctLoc");
}

void sim_build_free(FlowmirState* fms, SimBuild* b)
{
    optFree(fms, b->zoneNode, fms->nzone);
    optFree(fms, b->jctNode, fms->njct);
    optFree(fms, b->seg, fms->ndct);
    optFree(fms, b->jctNet, fms->njct);
    optFree(fms, b->pathEnv, fms->npath);
    optFree(fms, b->jctEnv, fms->njct);
    optFree(fms, b->pathLoc, fms->npath);
    optFree(fms, b->jctLoc, fms->njct);
}

// The ambient default mass fractions, with the water vapour of the ambient humidity.
static void ambientDefaults(FlowmirState* fms)
{
    if (fms->nctm <= 0) return;
    if (!fms->ambtMf) fms->ambtMf = alc_vt<double>(fms, 0, fms->nctm - 1, "aCC0");
    for (int i = 0; i < fms->nctm; i++) fms->ambtMf[i] = fms->ctm ? fms->ctm[i].CC0 : 0.0;
    int h2o = fms->iH2O;
    if (h2o >= 0 && h2o < fms->nctm && fms->ambRH > 0.0f) {
        fms->Wambt = ambientHumidityRatio(fms);
        fms->ambtMf[h2o] = fms->Wambt / (1.0 + fms->Wambt);
    }
}

void sim_data(FlowmirState* fms)
{
    SimBuild b;
    sim_build_alloc(fms, &b);

    ambientDefaults(fms);
    EnvListsWpc_setup(fms, b.pathEnv, b.jctEnv);
    if (fms->wpcUse) PLDlist(fms, 1, b.pathLoc, b.jctLoc);
    sim_duct_networks(fms, &b);
    sim_duct_volumes(fms, &b);
    sim_nodes(fms, &b);
    if (fms->nctm > 0) cse_setup(fms, b.zoneNode);
    exposure_setup(fms, b.zoneNode);
    sim_links(fms, &b);
    if (fms->mfsolver == 1) sts_network(fms, b.zoneNode, b.jctNode, b.jctNet);
    EnvListsCsmCex_setup(fms);
    sim_implicit_elements(fms);
    sim_connectivity(fms);
    ctrl_link(fms);
    sim_special_modes(fms);
    sim_one_neighbour(fms);
    if (fms->afsim != 4) sim_constant_pressure(fms);

    sim_build_free(fms, &b);
    afe_bind_models(fms);
    normalizeAirNodeMfSums_nonTr_check(fms);
    logFlush(fms);
}

void sim_data_free(FlowmirState* fms)
{
    optFree(fms, fms->wPenv, fms->nenv);
    optFree(fms, fms->wSign, fms->nenv);
    fms->nenv = 0;
    PLDlist(fms, 0, nullptr, nullptr);
    if (fms->ambtMf && fms->nctm > 0) fre_vt(fms, fms->ambtMf, 0, fms->nctm - 1);
    fms->ambtMf = nullptr;
    fms->nodeList = nullptr;
    fms->ambt = nullptr;
    fms->linkList = nullptr;
    fms->nafnd = 0;
    fms->nafpt = 0;
}
