// The blocks of a restart record, one gather and one scatter per block.
#include "engine/restart_blocks.h"

#include <cmath>
#include <initializer_list>

#include "airflow/pressures.h"
#include "controls/ctrl.h"
#include "controls/ctrl_data.h"
#include "network/airnet.h"
#include "support/error.h"
#include "transport/cse.h"
#include "transport/filter.h"

// --- the lists the blocks walk ---------------------------------------------------------------

// Source lists in the record's order: non-trace, then trace (or every species when the solver
// keeps one list).
static void sourceLists(FlowmirState* fms, CseInstance* lists[2])
{
    lists[0] = fms->css[1];
    lists[1] = fms->css[0];
}

// Sink lists in the fixed order of the statistics report: non-trace, trace, inactive.
static void sinkLists(FlowmirState* fms, int block, CseSink* lists[3])
{
    if (block == RST_BLS) {
        lists[0] = fms->bls[1];
        lists[1] = fms->bls[0];
        lists[2] = fms->blsInactive;
    } else {
        lists[0] = fms->dvr[1];
        lists[1] = fms->dvr[0];
        lists[2] = fms->dvrInactive;
    }
}

// The loading record of a link's filter, or none.
static FilterData* linkFilter(const AirLink* l)
{
    return l->filter ? static_cast<const Filter*>(l->filter)->top : nullptr;
}

// Values a source instance keeps in the record: the start of a triggered model and, for the
// decaying emission, its stored initial rate.
static int sourceValues(FlowmirState* fms, const CseInstance* c)
{
    switch (c->element->type) {
    case CSE_EDS:
        return 4;
    case CSE_BRS:
    case CSE_PLM:
    case CSE_PKM:
    case CSE_SXD:
    case CSE_DXD:
        return 3;
    case CSE_BLS:
        error(fms, FATAL, __FILE__, __LINE__, "BLS element should not be in this list; call Orvo", "");
        return 0;
    case CSE_DVR:
        error(fms, FATAL, __FILE__, __LINE__, "DVR element should not be in this list; call Orvo", "");
        return 0;
    default:
        return 0;
    }
}

// Values a control node keeps: its output, plus the state of a sensor with a time constant,
// a hysteresis and an incremental PI controller.
static int controlValues(const CtrlNode* node)
{
    switch (node->type) {
    case CT_SNS:
    case CT_HYS:
        return 2;
    case CT_PI1:
        return 3;
    default:
        return 1;
    }
}

// --- counts ----------------------------------------------------------------------------------

void rst_countBlocks(FlowmirState* fms)
{
    FlowmirState::RestartOut& r = fms->restart;
    int nodes = 0, links = 0, filtered = 0;
    for (const AirNode* n = fms->nodeList; n; n = n->next)
        nodes++;
    for (const AirLink* l = fms->linkList; l; l = l->next) {
        links++;
        if (linkFilter(l)) filtered++;
    }
    r.nNodeVals = 4 * nodes;
    r.nLinkVals = 3 * links;
    r.nMfVals = fms->nctm * nodes;
    // Per link that has a filter: a filter on several links is written with each of them.
    r.nFltVals = fms->nctm * filtered;
    int css = 0;
    CseInstance* sources[2];
    sourceLists(fms, sources);
    for (const CseInstance* head : sources)
        for (const CseInstance* c = head; c; c = c->next)
            css += sourceValues(fms, c);
    r.nCssVals = css;
    for (int block : {RST_BLS, RST_DVR}) {
        CseSink* sinks[3];
        sinkLists(fms, block, sinks);
        int k = 0;
        for (const CseSink* head : sinks)
            for (const CseSink* s = head; s; s = s->next)
                k++;
        (block == RST_BLS ? r.nBlsVals : r.nDvrVals) = k;
    }
    int ctrl = 0;
    for (const CtrlNode* c = fms->ctrlSeq; c; c = c->next)
        ctrl += controlValues(c);
    r.nCtrlVals = ctrl;
}

int rst_blockCount(const FlowmirState* fms, int block)
{
    const FlowmirState::RestartOut& r = fms->restart;
    switch (block) {
    case RST_NODES:
        return r.nNodeVals;
    case RST_LINKS:
        return r.nLinkVals;
    case RST_MF:
        return r.nMfVals;
    case RST_FLT:
        return r.nFltVals;
    case RST_CSS:
        return r.nCssVals;
    case RST_BLS:
        return r.nBlsVals;
    case RST_DVR:
        return r.nDvrVals;
    case RST_CTRL:
        return r.nCtrlVals;
    default:
        return 0;
    }
}

const char* rst_blockSuffix(int block)
{
    if (block == RST_BLS) return ", BLS";
    if (block == RST_DVR) return ", DVR";
    return "";
}

// --- gather ----------------------------------------------------------------------------------

void rst_gather(FlowmirState* fms, int block, double* buf)
{
    double* v = buf;
    switch (block) {
    case RST_NODES:
        for (const AirNode* n = fms->nodeList; n; n = n->next) {
            *v++ = n->T;
            *v++ = n->P;
            *v++ = n->R;
            *v++ = n->M;
        }
        break;
    case RST_LINKS:
        for (const AirLink* l = fms->linkList; l; l = l->next) {
            *v++ = l->Flow[0];
            *v++ = l->Flow[1];
            *v++ = l->dP;
        }
        break;
    case RST_MF:
        for (const AirNode* n = fms->nodeList; n; n = n->next)
            for (int j = 0; j < fms->nctm; j++)
                *v++ = n->Mf[j];
        break;
    case RST_FLT:
        for (const AirLink* l = fms->linkList; l; l = l->next)
            if (const FilterData* fd = linkFilter(l))
                for (int j = 0; j < fms->nctm; j++)
                    *v++ = fd->loads[j];
        break;
    case RST_CSS: {
        CseInstance* sources[2];
        sourceLists(fms, sources);
        for (const CseInstance* head : sources)
            for (const CseInstance* c = head; c; c = c->next) {
                int k = sourceValues(fms, c);
                if (k == 0) continue;
                *v++ = c->started;
                *v++ = c->startTime;
                *v++ = c->startDay;
                if (k == 4) *v++ = c->G0;
            }
        break;
    }
    case RST_BLS:
    case RST_DVR: {
        CseSink* sinks[3];
        sinkLists(fms, block, sinks);
        for (const CseSink* head : sinks)
            for (const CseSink* s = head; s; s = s->next)
                *v++ = s->Cs;
        break;
    }
    case RST_CTRL:
        for (const CtrlNode* c = fms->ctrlSeq; c; c = c->next) {
            *v++ = c->out;
            if (c->type == CT_SNS) {
                *v++ = static_cast<const SensorData*>(c->data)->started;
            } else if (c->type == CT_HYS) {
                *v++ = static_cast<const HysData*>(c->data)->last;
            } else if (c->type == CT_PI1) {
                const PicData* p = static_cast<const PicData*>(c->data);
                *v++ = p->lastOut;
                *v++ = p->lastIn;
            }
        }
        break;
    default:
        break;
    }
}

// --- scatter ---------------------------------------------------------------------------------

// The loaded loadings of a filter. A simple filter's relative loading grows with the mass it
// took up since the start, as the bookkeeping would have grown it; a super filter's stages
// are not in the record and keep their own loadings.
static void loadFilter(FlowmirState* fms, FilterData* fd, const double* loads)
{
    double added = 0.0;
    for (int j = 0; j < fms->nctm; j++) {
        added += loads[j] - fd->loads[j];
        fd->loads[j] = loads[j];
    }
    if (!fd->nextSub && fd->element) fd->relLoad += added * fd->element->rmass;
}

static void loadSource(CseInstance* c, const double* v, int k)
{
    c->started = (int)v[0];
    c->startTime = (int)v[1];
    c->startDay = (int)v[2];
    if (k == 4) c->G0 = v[3];
    // The power law's rate before tmin is set when it starts: a loaded start needs it too.
    if (c->element->type == CSE_PLM && c->started) {
        const CsePlm* p = static_cast<const CsePlm*>(c->element->data);
        c->G0 = p->a * std::pow(p->tmin / 3600.0, -(double)p->n);
    }
}

void rst_scatter(FlowmirState* fms, int block, const double* buf)
{
    const double* v = buf;
    switch (block) {
    case RST_NODES:
        for (AirNode* n = fms->nodeList; n; n = n->next) {
            n->T = v[0];
            n->P = v[1];
            n->R = v[2];
            n->M = v[3];
            v += 4;
        }
        // Densities and viscosities follow the loaded state; the link block that comes next
        // replaces the pressure differences this also forms with the snapshot's own.
        calc_sP(fms);
        break;
    case RST_LINKS:
        for (AirLink* l = fms->linkList; l; l = l->next) {
            l->Flow[0] = v[0];
            l->Flow[1] = v[1];
            l->dP = v[2];
            l->Ftot = (float)(v[0] + v[1]);
            v += 3;
        }
        break;
    case RST_MF:
        for (AirNode* n = fms->nodeList; n; n = n->next)
            for (int j = 0; j < fms->nctm; j++)
                n->Mf[j] = *v++;
        break;
    case RST_FLT:
        for (AirLink* l = fms->linkList; l; l = l->next)
            if (FilterData* fd = linkFilter(l)) {
                loadFilter(fms, fd, v);
                v += fms->nctm;
            }
        break;
    case RST_CSS: {
        CseInstance* sources[2];
        sourceLists(fms, sources);
        for (CseInstance* head : sources)
            for (CseInstance* c = head; c; c = c->next) {
                int k = sourceValues(fms, c);
                if (k == 0) continue;
                loadSource(c, v, k);
                v += k;
            }
        break;
    }
    case RST_BLS:
    case RST_DVR: {
        CseSink* sinks[3];
        sinkLists(fms, block, sinks);
        for (CseSink* head : sinks)
            for (CseSink* s = head; s; s = s->next)
                s->Cs = *v++;
        break;
    }
    case RST_CTRL:
        for (CtrlNode* c = fms->ctrlSeq; c; c = c->next) {
            c->out = (float)*v++;
            if (c->type == CT_SNS) {
                SensorData* s = static_cast<SensorData*>(c->data);
                s->started = *v++ != 0.0;
                // The decay is formed on the first evaluation, which a loaded sensor has had.
                if (s->started && s->tau > 0.0f) s->decay = (float)std::exp(-(double)fms->dt / s->tau);
            } else if (c->type == CT_HYS) {
                static_cast<HysData*>(c->data)->last = (float)*v++;
            } else if (c->type == CT_PI1) {
                PicData* p = static_cast<PicData*>(c->data);
                p->lastOut = (float)*v++;
                p->lastIn = (float)*v++;
            }
        }
        break;
    default:
        break;
    }
}
