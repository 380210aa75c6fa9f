// Checks and reports on the assembled network: connection of every variable-pressure node to
// a constant-pressure one, the node flags of the building tests, nodes with one neighbour and
// zones of fixed pressure.
#include "airflow/afe.h"
#include "network/sim_parts.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"

// Constant flows, fans and duct leaks do not tie a node's pressure to its neighbour's.
static bool carriesPressure(const Afe* e)
{
    switch (e ? e->type : -1) {
    case AFE_FAN_CMF:
    case AFE_FAN_CVF:
    case AFE_FAN_FAN:
    case AFE_DCT_FAN:
    case AFE_DCT_CMF:
    case AFE_DCT_CVF:
    case AFE_D_LEAK:
        return false;
    default:
        return true;
    }
}

void sim_connectivity(FlowmirState* fms)
{
    int nr = 0;
    for (AirNode* n = fms->nodeList; n; n = n->next)
        if (n->nr != ++nr) error(fms, FATAL, __FILE__, __LINE__, "Node numbers not sequential", "");
    if (nr == 0) return;

    int* mark = alc_vt<int>(fms, 1, nr, "nodeMark");
    for (AirNode* n = fms->nodeList; n; n = n->next)
        mark[n->nr] = !(n->flags & NF_VARP);
    bool grew = true;
    while (grew) {
        grew = false;
        for (AirLink* l = fms->linkList; l; l = l->next) {
            if (!carriesPressure(l->elem) || !l->nodeN || !l->nodeM) continue;
            int a = l->nodeN->nr, b = l->nodeM->nr;
            if (mark[a] != mark[b]) {
                mark[a] = mark[b] = 1;
                grew = true;
            }
        }
    }

    bool unlinked = false;
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (mark[n->nr]) continue;
        if (!unlinked) LOG(fms, "Unlinked nodes:\n");
        unlinked = true;
        if (n->styp == NODE_ZONE)
            LOG(fms, "     zone: %4d\n", n->s_nr);
        else
            LOG(fms, " junction: %4d\n", n->s_nr);
    }
    fre_vt(fms, mark, 1, nr);
    if (unlinked)
        error(fms, FATAL, __FILE__, __LINE__, "Zones/junctions not linked to ambient by variable flow path",
              "");
}

void sim_special_modes(FlowmirState* fms)
{
    if (fms->afsim == 3) {
        if (fms->nctm != 1)
            error(fms, FATAL, __FILE__, __LINE__, "Flow validation mode requires one trace contaminant", "");
        // Only the system zones keep solving their mass fractions.
        for (AirNode* n = fms->nodeList; n; n = n->next)
            if (n->styp == NODE_ZONE && !(n->flags & NF_AHS)) n->flags &= ~NF_MASSFRAC;
    } else if (fms->afsim == 4) {
        // The pressurization test holds the building and solves the unconditioned spaces.
        for (AirNode* n = fms->nodeList; n; n = n->next) {
            if (n->flags & NF_UNCOND)
                n->flags |= NF_VARP;
            else
                n->flags &= ~NF_VARP;
        }
    }
}

static void logNodeNr(FlowmirState* fms, const AirNode* n, const char* fmt, const char* ambt)
{
    if (n == fms->ambt)
        LOG(fms, "%s", ambt);
    else
        LOG(fms, fmt, n->nr);
}

void sim_one_neighbour(FlowmirState* fms)
{
    int nn = fms->nafnd;
    if (nn < 3) return;
    AirNode** first = alc_vt<AirNode*>(fms, 1, nn, "firstNbr");
    int* many = alc_vt<int>(fms, 1, nn, "manyNbr");
    auto meet = [&](AirNode* n, AirNode* other) {
        if (!n || !other || n == other) return;
        if (!first[n->nr])
            first[n->nr] = other;
        else if (first[n->nr] != other)
            many[n->nr] = 1;
    };
    for (AirLink* l = fms->linkList; l; l = l->next) {
        meet(l->nodeN, l->nodeM);
        meet(l->nodeM, l->nodeN);
    }

    int count = 0;
    for (int i = 1; i <= nn; i++)
        if (first[i] && !many[i]) count++;
    if (count > 0) {
        errorf(fms, WARNING, __FILE__, __LINE__,
               "%d zones linked to only one other zone. See XLog file for details.", count);
        LOG(fms, "  Check that inter-zone flow can occur.\n");
        LOG(fms, "  zone1 zone2   T1 [C] T2 [C]\n");
        for (AirNode* n = fms->nodeList; n; n = n->next) {
            AirNode* o = first[n->nr];
            if (!o || many[n->nr]) continue;
            logNodeNr(fms, n, "  %5d", "   ambt");
            logNodeNr(fms, o, " %5d", "  ambt");
            LOG(fms, "  %6.2f %6.2f\n", n->T - 273.15, o->T - 273.15);
        }
        LOG(fms, "\n");
        logFlush(fms);
    }
    fre_vt(fms, first, 1, nn);
    fre_vt(fms, many, 1, nn);
}

void sim_constant_pressure(FlowmirState* fms)
{
    int count = 0;
    for (AirNode* n = fms->nodeList; n; n = n->next)
        if (n != fms->ambt && !(n->flags & (NF_VARP | NF_AHS))) count++;
    if (count == 0) return;
    errorf(fms, WARNING, __FILE__, __LINE__,
           "%d constant pressure zone(s) - not normally used. See XLog file for details.", count);
    LOG(fms, " *** Constant pressure zones:");
    for (AirNode* n = fms->nodeList; n; n = n->next)
        if (n != fms->ambt && !(n->flags & (NF_VARP | NF_AHS))) LOG(fms, " %d", n->s_nr);
    LOG(fms, "\n\n");
    logFlush(fms);
}
