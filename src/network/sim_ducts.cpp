// Duct systems before the network exists: numbering of the connected duct networks, loops
// through fans, and the volumes and wall leakage that the ducts give their junctions.
#include <cmath>

#include "airflow/afe.h"
#include "airflow/afe_models.h"
#include "network/sim_parts.h"
#include "project/components.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"

static void networkFault(FlowmirState* fms)
{
    error(fms, FATAL, __FILE__, __LINE__, "Error in duct network analysis; call Orvo", "");
}

static bool isFan(const Afe* e)
{
    return e && (e->type == AFE_DCT_FAN || e->type == AFE_DCT_CMF || e->type == AFE_DCT_CVF);
}

// Spreads network k from the junction already numbered; returns the ducts it holds. A duct
// may lack one junction (reported when its link is made), so only present ends count.
static int spreadNetwork(FlowmirState* fms, int* net, int k)
{
    bool grew = true;
    while (grew) {
        grew = false;
        for (int i = 1; i <= fms->ndct; i++) {
            int N = fms->DctLst[i]->jctNrN, M = fms->DctLst[i]->jctNrM;
            if (!((N && net[N] == k) || (M && net[M] == k))) continue;
            if (N && net[N] == 0) net[N] = k, grew = true;
            if (M && net[M] == 0) net[M] = k, grew = true;
        }
    }
    int ducts = 0;
    for (int i = 1; i <= fms->ndct; i++) {
        int N = fms->DctLst[i]->jctNrN, M = fms->DctLst[i]->jctNrM;
        int a = N ? net[N] : 0, b = M ? net[M] : 0;
        if (a != k && b != k) continue;
        if ((N && a != k) || (M && b != k)) networkFault(fms); // joins two networks
        ducts++;
    }
    return ducts;
}

// Removes dead ends until only loops remain; alive[i] says whether duct i is in one.
static void pruneToLoops(FlowmirState* fms, int* alive)
{
    int* cnt = alc_vt<int>(fms, 1, fms->njct, "jctCount");
    for (int i = 1; i <= fms->ndct; i++) {
        const Duct* d = fms->DctLst[i];
        alive[i] = 1;
        if (d->jctNrN) cnt[d->jctNrN]++;
        if (d->jctNrM) cnt[d->jctNrM]++;
    }
    bool changed = true;
    while (changed) {
        changed = false;
        for (int i = 1; i <= fms->ndct; i++) {
            const Duct* d = fms->DctLst[i];
            int N = d->jctNrN, M = d->jctNrM;
            if (!alive[i]) continue;
            if (N && cnt[N] > 1 && M && cnt[M] > 1) continue;
            alive[i] = 0;
            if (N) cnt[N]--;
            if (M) cnt[M]--;
            changed = true;
        }
    }
    fre_vt(fms, cnt, 1, fms->njct);
}

static int ductNetwork(const Duct* d, const int* net)
{
    return d->jctNrN ? net[d->jctNrN] : d->jctNrM ? net[d->jctNrM] : 0;
}

static void reportFanLoops(FlowmirState* fms, const int* net, int nnet)
{
    if (fms->ndct == 0) return;
    int* alive = alc_vt<int>(fms, 1, fms->ndct, "ductAlive");
    pruneToLoops(fms, alive);
    for (int k = 1; k <= nnet; k++) {
        bool fan = false;
        for (int i = 1; i <= fms->ndct; i++)
            if (alive[i] && ductNetwork(fms->DctLst[i], net) == k && isFan(fms->DctLst[i]->dfe)) fan = true;
        if (!fan) continue;
        LOG(fms, "WARNING: Duct network # %d has a loop with a fan.\n", k);
        LOG(fms, "  This may cause duct sequencing to fail.\n");
        LOG(fms, "  Loop duct segment(s) with a fan:");
        for (int i = 1; i <= fms->ndct; i++)
            if (alive[i] && ductNetwork(fms->DctLst[i], net) == k && isFan(fms->DctLst[i]->dfe))
                LOG(fms, " %d", fms->DctLst[i]->nr);
        LOG(fms, "\n");
    }
    fre_vt(fms, alive, 1, fms->ndct);
}

static void listNetworks(FlowmirState* fms, const int* net, int nnet)
{
    LOG(fms, "%d Duct Networks\n", nnet);
    for (int k = 0; k <= nnet; k++) {
        LOG(fms, "      network # %d - jctns:\n", k);
        int col = 0;
        for (int j = 1; j <= fms->njct; j++) {
            if (net[j] != k) continue;
            LOG(fms, " %5d", j);
            if (++col == 16) {
                LOG(fms, "\n");
                col = 0;
            }
        }
        if (col > 0) LOG(fms, "\n");
    }
}

void sim_duct_networks(FlowmirState* fms, SimBuild* b)
{
    if (fms->njct == 0) return;
    int* net = b->jctNet;
    int nnet = 0;
    for (;;) {
        const Duct* start = nullptr;
        for (int i = 1; i <= fms->ndct && !start; i++) {
            const Duct* d = fms->DctLst[i];
            int N = d->jctNrN, M = d->jctNrM;
            if ((N || M) && (!N || net[N] == 0) && (!M || net[M] == 0)) start = d;
        }
        if (!start) break;
        net[start->jctNrN ? start->jctNrN : start->jctNrM] = ++nnet;
        if (spreadNetwork(fms, net, nnet) == 0) networkFault(fms);
    }
    b->nnet = nnet;

    reportFanLoops(fms, net, nnet);
    if (fms->listLevel > 0) listNetworks(fms, net, nnet);
    logFlush(fms);
    for (int j = 1; j <= fms->njct; j++)
        if (net[j] == 0) networkFault(fms); // a junction no duct reaches
}

void sim_duct_volumes(FlowmirState* fms, SimBuild* b)
{
    for (int j = 1; j <= fms->njct; j++) {
        fms->JctLst[j]->V = 0.0f;
        fms->JctLst[j]->Cleak = 0.0f;
    }
    for (int i = 1; i <= fms->ndct; i++) {
        const Duct* d = fms->DctLst[i];
        DuctSeg* s = alc_ect<DuctSeg>(fms, &fms->msBlock, "dseg");
        b->seg[i] = s;
        s->len = d->len;
        s->sumC = d->sumC;
        const Afe* e = d->dfe;
        int code = e ? e->type : -1;
        if (code < AFE_DCT_DWC || code > AFE_DCT_PSQ) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Invalid element type %d", code);
            continue;
        }
        const DuctBlock* blk = afe_duct(e);
        if (!blk) continue;
        s->area = s->area2 = blk->area;

        float half = d->len * blk->area / 2.0f;
        Junction* ends[2] = {d->jctN, d->jctM};
        for (Junction* j : ends)
            if (j) j->V += half;

        if (blk->lpres > 0.0f) {
            double C = blk->leak * 0.001 * d->len * blk->perim / std::pow((double)blk->lpres, (double)0.65f);
            s->Cleak = (float)C;
            // Terminals open into their zone anyway; only inner junctions leak.
            for (Junction* j : ends)
                if (j && !j->terminal) j->Cleak += (float)(C / 2.0);
        }
        if (code == AFE_DCT_DWC)
            s->Clin = afe_dwc_clin(fms, static_cast<const AfeDwc*>(e->data), d->len, d->sumC);
    }
}
