// Sources and sinks joined to the network: instances bound to their zones and distributed into
// the lists the solvers visit, the step's mass totals and the final sink report.
#include "network/airnet.h"
#include "network/sim_values.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"
#include "transport/cse.h"
#include "transport/species.h"

static CseSink* sink_new(FlowmirState* fms, const CseInstance* c, const char* label)
{
    CseSink* s = alc_ect<CseSink>(fms, &fms->msBlock, label);
    s->zoneNode = c->zoneNode;
    s->element = c->element;
    s->sched = c->sched;
    s->mult = c->mult;
    s->Cs = c->C0;
    for (int k = 0; k < 6; k++) s->loc[k] = c->loc[k];
    s->species = c->element->species;
    s->nr = c->nr;
    return s;
}

template <class T> static void append(T** head, T* item)
{
    while (*head) head = &(*head)->next;
    item->next = nullptr;
    *head = item;
}

// A sink in a zone whose concentrations are not solved has no equation to join.
static bool sink_in_fixed_zone(FlowmirState* fms, const CseSink* s, const char* kind)
{
    if (s->zoneNode && (s->zoneNode->flags & NF_MASSFRAC)) return false;
    errorf(fms, WARNING, __FILE__, __LINE__, "%s sink %d is in zone %s, whose concentrations are not solved: it is not simulated",
           kind, s->nr, s->zoneNode ? s->zoneNode->name : "?");
    return true;
}

void cse_setup(FlowmirState* fms, AirNode** zoneNode)
{
    bool split = fms->mfsolver == 0;  // the implicit solver solves trace and non-trace apart
    int ncss = 0, nbls = 0, ndvr = 0;
    fms->css[0] = fms->css[1] = nullptr;
    fms->bls[0] = fms->bls[1] = fms->dvr[0] = fms->dvr[1] = nullptr;
    fms->blsInactive = fms->dvrInactive = nullptr;

    CseInstance* next = nullptr;
    for (CseInstance* c = fms->cssRead; c; c = next) {
        next = c->next;
        c->next = nullptr;
        c->zoneNode = c->zoneNr >= 1 && c->zoneNr <= fms->nzone ? zoneNode[c->zoneNr] : nullptr;
        int vfType = c->valueKind == 1 || c->valueKind == 2 ? c->valueKind : 0;
        c->sched = sim_value_pointer(fms, c->ctrlNr, vfType, c->valueName, c->wshNr, c->sched);
        const CseElement* e = c->element;
        int group = split && fms->ctm[e->species].nonTrace ? 1 : 0;
        if (e->type == CSE_BLS) {
            CseSink* s = sink_new(fms, c, "bls");
            s->capacity = c->mult * static_cast<const CseBls*>(e->data)->mass;
            bool off = c->mult <= 0.0f || sink_in_fixed_zone(fms, s, "Boundary layer");
            append(off ? &fms->blsInactive : &fms->bls[group], s);
            nbls++;
        } else if (e->type == CSE_DVR) {
            CseSink* s = sink_new(fms, c, "dvr");
            bool off = c->mult * static_cast<const CseDvr*>(e->data)->A <= 0.0f ||
                       sink_in_fixed_zone(fms, s, "Deposition");
            append(off ? &fms->dvrInactive : &fms->dvr[group], s);
            ndvr++;
        } else if (c->mult != 0.0f) {
            append(&fms->css[group], c);
            ncss++;
        }
    }
    fms->cssRead = nullptr;
    fms->ncss = ncss;
    fms->nbls = nbls;
    fms->ndvr = ndvr;
}

void sumCseGenRemoveMass(FlowmirState*, CseInstance* instances, BlsSink* blsSinks, DvrSink* dvrSinks, float dt)
{
    for (CseInstance* c = instances; c; c = c->next) {
        c->genTotal += dt * c->G;
        c->remTotal += dt * c->zoneNode->Mf[c->element->species] * c->R;
    }
    for (CseSink* lists[2] = {blsSinks, dvrSinks}; CseSink* head : lists)
        for (CseSink* s = head; s; s = s->next) {
            s->released += dt * s->b * s->Cs;
            s->takenUp += dt * s->a * s->zoneNode->Mf[s->species];
        }
}

static void sink_lines(FlowmirState* fms, CseSink* const* lists, int nlists)
{
    for (int i = 0; i < nlists; i++)
        for (const CseSink* s = lists[i]; s; s = s->next)
            LOG(fms, "%6d  %13.6e  %s\n", s->nr, s->Cs, fms->ctm[s->species].name);
}

void cse_sink_report(FlowmirState* fms)
{
    if (fms->nbls > 0) {
        LOG(fms, "Final boundary layer concentrations:\n");
        LOG(fms, "Sink #  Mass Fraction  Contaminant\n");
        CseSink* lists[3] = {fms->bls[1], fms->bls[0], fms->blsInactive};
        sink_lines(fms, lists, 3);
    }
    if (fms->ndvr > 0) {
        LOG(fms, "Final deposition/resuspension surface concentrations:\n");
        LOG(fms, "Sink #  Mass/Area  Contaminant\n");
        CseSink* lists[3] = {fms->dvr[1], fms->dvr[0], fms->dvrInactive};
        sink_lines(fms, lists, 3);
    }
}
