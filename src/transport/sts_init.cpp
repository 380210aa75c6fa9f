// Set-up of the short-time-step method: the junction, duct and one-dimensional zone records at
// network assembly, and at the start of the transient run the zone table, the accumulators,
// the cells of ducts and one-dimensional zones, what every link carries to and from, the cells
// covered by sources and sinks, and the work space of a step.
#include <algorithm>
#include <cmath>

#include "airflow/afe.h"
#include "airflow/pool_array.h"
#include "controls/ctrl.h"
#include "controls/ctrl_data.h"
#include "controls/occupancy.h"
#include "network/airnet.h"
#include "project/components.h"
#include "support/error.h"
#include "support/log.h"
#include "transport/cse.h"
#include "transport/species.h"
#include "transport/sts.h"

template <class T> static T* runArray(FlowmirState* fms, int n, const char* label)
{
    return pool_arrayt<T>(fms, &fms->msBlock, std::max(n, 1), label);
}

void sts_network(FlowmirState* fms, AirNode** zoneNode, AirNode** jctNode, const int* jctNet)
{
    StsRun* s = alc_ect<StsRun>(fms, &fms->msBlock, "sts");
    fms->sts = s;
    int nc = fms->nctm;
    s->jctOf = runArray<StsJunction*>(fms, fms->nafnd + 1, "jctOf");
    StsJunction** jtail = &s->junctions;
    for (int j = 1; j <= fms->njct; j++) {
        StsJunction* r = alc_ect<StsJunction>(fms, &fms->msBlock, "StsJunction");
        r->node = jctNode[j];
        r->kind = jctNode[j]->styp == NODE_TERM ? 1 : 0;
        r->nr = j;
        r->net = jctNet ? jctNet[j] : 0;
        r->massIn = runArray<double>(fms, nc, "sFMfJ");
        s->jctOf[jctNode[j]->nr] = r;
        *jtail = r;
        jtail = &r->next;
        s->njct++;
    }
    StsDuct** dtail = &s->ducts;
    for (AirLink* l = fms->linkList; l; l = l->next) {
        if (l->styp == LINK_DUCT) {
            StsDuct* d = alc_ect<StsDuct>(fms, &fms->msBlock, "StsDuct");
            d->link = l;
            d->nr = l->s_nr;
            d->jctN = s->jctOf[l->nodeN->nr];
            d->jctM = s->jctOf[l->nodeM->nr];
            d->net = d->jctN ? d->jctN->net : 0;
            *dtail = d;
            dtail = &d->next;
            s->ndct++;
        } else if (l->styp == LINK_TERM) {
            s->nterm++;
        } else if (l->styp == LINK_LEAK) {
            s->nleak++;
        } else {
            s->npath++;
        }
    }
    CdZone** ztail = &s->cdzones;
    for (int i = 1; i <= fms->nzone && nc > 0; i++) {
        const Zone* z = fms->ZnLst[i];
        if (!z->cdz) continue;
        CdZone* c = alc_ect<CdZone>(fms, &fms->msBlock, "cdzn");
        c->node = zoneNode[i];
        c->nr = z->nr;
        for (int k = 0; k < 3; k++) {
            c->p1[k] = z->cdzP1[k];
            c->p2[k] = z->cdzP2[k];
        }
        c->dx = z->cdzDx;
        c->Dax = z->cdzDax;
        *ztail = c;
        ztail = &c->next;
        s->nCdz++;
    }
}

// --- zones ------------------------------------------------------------------------------------

static double levelHeight(const AirNode* n)
{
    return n->level ? n->level->elevation : 0.0;
}

static void zoneGeometry(FlowmirState* fms, CdZone* z)
{
    double elev = levelHeight(z->node);
    double d[3];
    for (int k = 0; k < 3; k++) {
        z->start[k] = z->p1[k] + (k == 2 ? elev : 0.0);
        d[k] = (double)z->p2[k] - z->p1[k];
    }
    z->l = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (int k = 0; k < 3; k++)
        z->axis[k] = z->l > 0.0 ? d[k] / z->l : 0.0;
    double dx0 = z->dx;
    int n = 1;
    if (dx0 > 0.0 && z->l / dx0 + 0.5 < 1e6) n = std::max(1, (int)std::floor(z->l / dx0 + 0.5));
    z->ncells = n;
    z->dx = z->l / n;
    z->rdx = z->dx > 0.0 ? 1.0 / z->dx : 0.0;
    z->rncells = 1.0 / n;
    z->rA = z->node->V > 0.0f ? z->l / z->node->V : 0.0;
    z->cond = z->Dax * z->rdx;
    if (z->l <= 0.0)
        errorf(fms, FATAL, __FILE__, __LINE__, "1-D C-D zone %d: cell dx=%.3f, L=%.3f, ==> N=%d, dx=%.3f\n",
               z->nr, dx0, z->l, n, z->dx);
    int nc = fms->nctm;
    z->cells = runArray<CdCell>(fms, n, "cdcVec");
    const double* mf = z->node->Mf;
    for (int k = 0; k < n; k++) {
        CdCell* c = &z->cells[k];
        c->Mf = runArray<double>(fms, nc, "MfC");
        c->Mfi = runArray<double>(fms, nc, "MfCi");
        c->acc.massIn = runArray<double>(fms, nc, "sFMfC");
        for (int j = 0; j < nc; j++)
            c->Mf[j] = c->Mfi[j] = mf ? mf[j] : 0.0;
        c->x = z->dx / 2 + k * z->dx;
        c->k = k;
    }
}

CdCell* sts_cell_of(FlowmirState* fms, CdZone* z, const double p[3], const char* kind, int item)
{
    double t = 0.0;
    for (int k = 0; k < 3; k++)
        t += (p[k] - z->start[k]) * z->axis[k];
    double q = z->dx > 0.0 ? t / z->dx : 0.0;
    int indx = std::fabs(q) < 1e9 ? (int)std::trunc(q) : (q < 0 ? -1 : z->ncells + 1);
    if (indx == z->ncells) indx = z->ncells - 1;
    if (indx < 0 || indx > z->ncells)
        errorf(fms, FATAL, __FILE__, __LINE__, "Invalid zone cell index: %s %d in zone %d, indx=%d max=%d\n",
               kind, item, z->nr, indx, z->ncells);
    return &z->cells[indx];
}

static const char* linkKind(const AirLink* l)
{
    switch (l->styp) {
    case LINK_DUCT:
        return "Duct";
    case LINK_TERM:
        return "Terminal";
    case LINK_LEAK:
        return "Leak";
    default:
        return "Path";
    }
}

static bool variableZone(const AirNode* n)
{
    return n->styp == NODE_ZONE && (n->flags & NF_MASSFRAC);
}

static const double* zoneRowOld(FlowmirState* fms, const AirNode* n)
{
    if (fms->nctm <= 0) return nullptr;
    if (n->styp == NODE_ZONE && n->Mf && fms->MfZi) return fms->MfZi + (size_t)n->s_nr * fms->nctm;
    if (n->styp != NODE_ZONE && fms->MfJi) return fms->MfJi + (size_t)(n->s_nr - 1) * fms->nctm;
    return n->Mf;
}

// What one end of a link gives and takes; links into a one-dimensional zone reach a cell.
static void linkEnd(FlowmirState* fms, StsRun* s, AirLink* l, AirNode* n, const double* src, StsLinkEnd* e,
                    const char* endName)
{
    CdZone* z = s->cdzOf[n->nr];
    if (z) {
        double p[3] = {l->x, l->y, l->Z};
        e->cell = sts_cell_of(fms, z, p, linkKind(l), l->s_nr);
        // the link's line comes once, before its first end in such a zone
        if (endName[0] == 'N' || !s->cdzOf[l->nodeN->nr]) LOG(fms, "  %s %d\n", linkKind(l), l->s_nr);
        LOG(fms, "    zone %s %d, cell %d at %.2f\n", endName, z->nr, e->cell->k, e->cell->x);
        e->acc = (n->flags & NF_MASSFRAC) ? &e->cell->acc : nullptr;
        e->oldMf = e->cell->Mfi;
        e->newMf = e->cell->Mf;
        return;
    }
    if (variableZone(n)) {
        e->acc = &s->acc[n->nr];
        e->oldMf = s->oldOf[n->nr];
        e->newMf = n->Mf;
    } else if (n->styp != NODE_ZONE) {
        e->oldMf = s->oldOf[n->nr];
        e->newMf = n->Mf;
    } else {
        e->oldMf = e->newMf = src;
    }
}

// The cells from the instance's lower to its upper location, whichever way the axis runs.
static StsSpan spanOf(FlowmirState* fms, StsRun* s, const AirNode* zone, const float loc[6], const char* kind,
                      int nr)
{
    StsSpan sp = {nullptr, nullptr};
    CdZone* z = zone ? s->cdzOf[zone->nr] : nullptr;
    if (!z) return sp;
    double elev = levelHeight(zone);
    double lo[3] = {loc[0], loc[1], loc[2] + elev}, hi[3] = {loc[3], loc[4], loc[5] + elev};
    CdCell* a = sts_cell_of(fms, z, lo, kind, nr);
    CdCell* b = sts_cell_of(fms, z, hi, kind, nr);
    if (a->k > b->k) std::swap(a, b);
    sp.first = a;
    sp.last = b;
    return sp;
}

static int countList(const CseSink* s)
{
    int n = 0;
    for (; s; s = s->next)
        n++;
    return n;
}

// A sink's mass balance divides by its capacity: one without any cannot be advanced.
static void checkSinks(FlowmirState* fms)
{
    int bad = 0;
    for (const CseSink* k = fms->bls[0]; k; k = k->next)
        if (!(k->capacity > 0.0f)) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Boundary layer sink %d: capacity = %g kg", k->nr,
                   k->capacity);
            bad++;
        }
    for (const CseSink* k = fms->dvr[0]; k; k = k->next) {
        double area = (double)static_cast<const CseDvr*>(k->element->data)->A * k->mult;
        if (!(area > 0.0)) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Deposition surface %d: area = %g m^2", k->nr, area);
            bad++;
        }
    }
    if (bad) error(fms, FATAL, __FILE__, __LINE__, "STS method requires sink capacities above 0", "");
}

static void zoneTable(FlowmirState* fms, StsRun* s)
{
    s->zones = runArray<AirNode*>(fms, fms->nzone + 1, "Znode");
    int bad = 0;
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (n->styp != NODE_ZONE || n == fms->ambt) continue;
        s->zones[++s->nZones] = n;
        if ((n->flags & NF_MASSFRAC) && !(n->V > 0.0f)) {
            errorf(fms, ERROR, __FILE__, __LINE__,
                   (n->flags & NF_AHS) ? "AHS zone %d: volume = %.3f m^3" : "Zone %d: volume = %.3f m^3",
                   n->s_nr, n->V);
            bad++;
        }
    }
    if (bad)
        error(fms, FATAL, __FILE__, __LINE__, "STS method requires zone volumes for numerical stability", "");
    LOG(fms, "Total Zones:    %5d\n", s->nZones);
}

static void oneDimensionalZones(FlowmirState* fms, StsRun* s)
{
    for (CdZone* z = s->cdzones; z; z = z->next) {
        zoneGeometry(fms, z);
        s->cdzOf[z->node->nr] = z;
        s->nCells += z->ncells;
        fms->maxCells = std::max(fms->maxCells, z->ncells + 3);
    }
    if (s->nCdz > 0 && fms->listLevel > 0) {
        LOG(fms, " 1-D C-D zones:\n");
        LOG(fms, " zone  cells  dx [m]\n");
        for (const CdZone* z = s->cdzones; z; z = z->next)
            LOG(fms, "%5d %5d %7.3f\n", z->nr, z->ncells, z->dx);
    }
    LOG(fms, "1D CD Zones:    %5d\n", s->nCdz);
    LOG(fms, "Zone cells:   %7d\n", s->nCells);
}

static void linkRecords(FlowmirState* fms, StsRun* s)
{
    s->links = runArray<StsLink>(fms, fms->nafpt + 1, "StsLink");
    if (s->nCdz > 0) {
        LOG(fms, "\nLinks to 1-D zone cells\n");
        LOG(fms, "Airflow paths:\n");
    }
    for (AirLink* l = fms->linkList; l; l = l->next) {
        StsLink* r = &s->links[l->nr];
        linkEnd(fms, s, l, l->nodeN, l->srcN, &r->N, "N");
        linkEnd(fms, s, l, l->nodeM, l->srcM, &r->M, "M");
        if (l->styp == LINK_TERM || l->styp == LINK_LEAK) r->jct = s->jctOf[l->nodeN->nr];
    }
}

static void sourceSpans(FlowmirState* fms, StsRun* s)
{
    s->ncssL = 0;
    for (CseInstance* c = fms->css[0]; c; c = c->next)
        s->ncssL++;
    s->nblsL = countList(fms->bls[0]);
    s->ndvrL = countList(fms->dvr[0]);
    s->cssSpan = runArray<StsSpan>(fms, s->ncssL + 1, "cssSpan");
    s->blsSpan = runArray<StsSpan>(fms, s->nblsL + 1, "blsSpan");
    s->dvrSpan = runArray<StsSpan>(fms, s->ndvrL + 1, "dvrSpan");
    if (s->nCdz > 0) LOG(fms, "Sources:\n");
    int k = 0;
    for (CseInstance* c = fms->css[0]; c; c = c->next) {
        StsSpan sp = spanOf(fms, s, c->zoneNode, c->loc, "Source", c->nr);
        s->cssSpan[++k] = sp;
        c->cells[0] = sp.first;
        c->cells[1] = sp.last;
        if (sp.first)
            LOG(fms, "  Source %d: zone %d, cells %d to %d\n", c->nr, c->zoneNode->s_nr, sp.first->k,
                sp.last->k);
    }
    k = 0;
    for (CseSink* q = fms->bls[0]; q; q = q->next)
        s->blsSpan[++k] = spanOf(fms, s, q->zoneNode, q->loc, "Source", q->nr);
    k = 0;
    for (CseSink* q = fms->dvr[0]; q; q = q->next)
        s->dvrSpan[++k] = spanOf(fms, s, q->zoneNode, q->loc, "Source", q->nr);
}

// A sensor of a mass fraction in a one-dimensional zone reads the cell at its location.
static void sensorCells(FlowmirState* fms, StsRun* s)
{
    if (s->nCdz == 0) return;
    LOG(fms, "Sensors:\n");
    for (CtrlNode* c = fms->ctrlSeq; c; c = c->next) {
        if (c->type != CT_SNS || !c->data) continue;
        SensorData* d = static_cast<SensorData*>(c->data);
        if (d->measure != SNS_MF || !d->src) continue;
        for (CdZone* z = s->cdzones; z; z = z->next) {
            const double* row = z->node->Mf;
            if (!row || d->src < row || d->src >= row + fms->nctm) continue;
            double p[3] = {d->x, d->y, d->z + levelHeight(z->node)};
            CdCell* cell = sts_cell_of(fms, z, p, "Sensor", c->nr);
            d->src = &cell->Mf[d->src - row];
            LOG(fms, "  Sensor %d: zone %d, cell %d at %.2f\n", c->nr, z->nr, cell->k, cell->x);
        }
    }
}

// Every point of an occupancy schedule in a one-dimensional zone must lie in one of its cells:
// the occupant's sources go to that cell during the run.
static void occupantCells(FlowmirState* fms, StsRun* s)
{
    if (s->nCdz == 0) return;
    for (Exposure* ex = fms->exposures; ex; ex = ex->next)
        for (const OccSchedule* os : ex->occSched) {
            if (!os) continue;
            for (int i = 0; i < os->npts; i++) {
                AirNode* n = os->zone[i];
                CdZone* z = n ? s->cdzOf[n->nr] : nullptr;
                if (!z) continue;
                double p[3] = {os->x[i], os->y[i], os->relHt[i] + levelHeight(n)};
                sts_cell_of(fms, z, p, "OccSched", os->nr);
            }
        }
}

static void ductCells(FlowmirState* fms, StsRun* s)
{
    if (!fms->cdDucts || fms->nctm <= 0) return;
    s->ductCells = 1;
    for (StsDuct* d = s->ducts; d; d = d->next) {
        const AirLink* l = d->link;
        const AirNode* up = l->Flow[0] >= 0.0 ? l->nodeN : l->nodeM;
        sts_duct_cells_init(fms, d, up->Mf);
        if (d->cells) {
            s->nDuctCells += d->cells->n;
            fms->maxCells = std::max(fms->maxCells, d->cells->n + 3);
        }
    }
    LOG(fms, "Duct cells:   %7d\n", s->nDuctCells);
}

void STSinit(FlowmirState* fms)
{
    LOG(fms, "\nSet up structures for STS simulation.\n");
    if (!fms->sts) sts_network(fms, nullptr, nullptr, nullptr);
    StsRun* s = fms->sts;
    int nc = fms->nctm;
    fms->maxCells = 3;
    s->acc = runArray<StsAcc>(fms, fms->nafnd + 1, "sFMfZ");
    s->oldOf = runArray<const double*>(fms, fms->nafnd + 1, "MfOld");
    s->cdzOf = runArray<CdZone*>(fms, fms->nafnd + 1, "cdzOf");
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        s->acc[n->nr].massIn = runArray<double>(fms, nc, "sFMfZ");
        s->oldOf[n->nr] = zoneRowOld(fms, n);
    }
    if (fms->njct > 0) {
        LOG(fms, "Junctions:      %5d\n", s->njct);
        LOG(fms, "Duct segments:  %5d\n", s->ndct);
        ductCells(fms, s);
        LOG(fms, "Duct terminals: %5d\n", s->nterm);
        LOG(fms, "Duct leaks:     %5d\n", s->nleak);
    }
    zoneTable(fms, s);
    checkSinks(fms);
    oneDimensionalZones(fms, s);
    linkRecords(fms, s);
    sensorCells(fms, s);
    sourceSpans(fms, s);
    occupantCells(fms, s);
    int m = fms->maxCells + 1;
    s->ta = runArray<double>(fms, m, "Bxtd");
    s->tb = runArray<double>(fms, m, "Bxtd");
    s->tc = runArray<double>(fms, m, "Bxtd");
    s->td = runArray<double>(fms, m, "Bxtd");
    s->tx = runArray<double>(fms, m, "Bxtd");
    s->rxA = runArray<double>(fms, nc * nc, "rxA");
    s->rxB = runArray<double>(fms, nc, "rxB");
    s->flux = runArray<double>(fms, nc, "flux");
    fms->stsRan = 1;
    LOG(fms, "Paths:          %5d\n", s->npath);
    LOG(fms, "STS initialization complete.\n\n");
    logFlush(fms);
}

void fre_1DCD(FlowmirState* fms)
{
    // The records and arrays belong to the run's block list, released with it.
    fms->sts = nullptr;
    fms->maxCells = 0;
}
