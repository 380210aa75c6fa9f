// Duct balancing: each balanced terminal is traced through the duct system to the fan that
// serves it, against the flow for a supply terminal and with it for a return terminal.
#include "airflow/afe.h"
#include "bldgtest/bldgtest.h"
#include "network/airnet.h"
#include "support/heap.h"

// One duct segment of the duct list.
struct BalDuct {
    BalDuct* next;
    AirLink* link;
};

static void detach(BalTraceList* list, BalTrace* t)
{
    (t->prev ? t->prev->next : list->head) = t->next;
    (t->next ? t->next->prev : list->tail) = t->prev;
    t->prev = t->next = nullptr;
}

static bool isFan(const AirLink* seg)
{
    int code = seg->elem ? seg->elem->type : -1;
    return code == AFE_DCT_FAN || code == AFE_DCT_CMF || code == AFE_DCT_CVF;
}

// Moves the trace along seg to its other end; true when the trace has ended there.
static bool move(BalTrace* t, AirLink* seg)
{
    t->at = t->at == seg->nodeN ? seg->nodeM : seg->nodeN;
    t->moves++;
    if (isFan(seg)) {
        t->fan = seg;
        return true;
    }
    return t->at->styp == NODE_TERM;
}

static void end(BalTraceList* active, BalTraceList* ended, BalTrace* t)
{
    detach(active, t);
    t->next = ended->head;
    if (ended->head) ended->head->prev = t;
    ended->head = t;
    if (!ended->tail) ended->tail = t;
}

// Whether the trace moves along seg with the segment's present flow.
static bool movesAlong(const BalTrace* t, const AirLink* seg)
{
    double F = seg->Flow[0];
    if (t->dir > 0) return (t->at == seg->nodeM && F > 0.0) || (t->at == seg->nodeN && F <= 0.0);
    return (t->at == seg->nodeN && F > 0.0) || (t->at == seg->nodeM && F <= 0.0);
}

void bal_trace(FlowmirState* fms, MemBlock** pool, BalTraceList* active, BalTraceList* ended)
{
    // The first step leaves each terminal junction by its first segment, whatever the flow.
    BalDuct *ducts = nullptr, **tail = &ducts;
    int nduct = 0;
    for (AirLink* l = fms->linkList; l; l = l->next) {
        if (l->styp != LINK_DUCT) continue;
        BalDuct* d = alc_ect<BalDuct>(fms, pool, "duct");
        d->link = l;
        *tail = d;
        tail = &d->next;
        nduct++;
        for (BalTrace *t = active->head, *next; t; t = next) {
            next = t->next;
            if (t->moves == 0 && (l->nodeN == t->at || l->nodeM == t->at) && move(t, l)) end(active, ended, t);
        }
    }
    // A trace that could circle through ducts of zero flow is held after as many moves as there
    // are segments, and stays active.
    for (bool moved = true; moved;) {
        moved = false;
        for (BalDuct* d = ducts; d; d = d->next)
            for (BalTrace *t = active->head, *next; t; t = next) {
                next = t->next;
                if (t->moves > nduct || !movesAlong(t, d->link)) continue;
                moved = true;
                if (move(t, d->link)) end(active, ended, t);
            }
    }
}
