// Duct segments divided into cells. A segment holds a ring of cells: head and tail are ghost
// cells beyond its two ends and the cells between them are active. With fixed cells (Eulerian)
// each step solves the upwind-dispersion balance over the grid; once the air travels more
// than a cell per step the cells move with the air (Lagrangian): one new cell enters at the
// upstream end, cells beyond the downstream end are recycled, and a front keeps its shape.
#include <algorithm>
#include <cmath>

#include "airflow/afe.h"
#include "airflow/pool_array.h"
#include "network/airnet.h"
#include "support/error.h"
#include "support/timeconv.h"
#include "transport/species.h"
#include "transport/sts.h"

// Beyond this many cells a segment's cells cost more than they show.
static const int STS_MAX_DUCT_CELLS = 1000;

static const double SWITCH_MARGIN = 2e-6;

void sts_duct_cells_init(FlowmirState* fms, StsDuct* d, const double* upMf)
{
    const AirLink* l = d->link;
    if (!l->dd || !(fms->dxDuct > 0.0f)) return;
    double L = l->dd->len;
    double q = L / fms->dxDuct + 0.9;
    int n = q < (double)STS_MAX_DUCT_CELLS ? (int)std::floor(q) : STS_MAX_DUCT_CELLS;
    if (q >= STS_MAX_DUCT_CELLS + 1.0)
        errorf(fms, WARNING, __FILE__, __LINE__, "Duct %d: %.0f cells of %g m limited to %d cells", d->nr,
               std::floor(q), fms->dxDuct, STS_MAX_DUCT_CELLS);
    if (n <= 0) return;
    int nc = fms->nctm;
    DuctCells* c = alc_ect<DuctCells>(fms, &fms->msBlock, "DuctCells");
    d->cells = c;
    c->n = n;
    c->dx = L / n;
    c->L = L;
    c->A = l->dd->area;
    const DuctBlock* blk = l->elem ? afe_duct(l->elem) : nullptr;
    c->D = blk && blk->Dh > 0.0f ? blk->Dh : std::sqrt(4.0 * c->A / M_PI);
    c->ring = pool_arrayt<LagCell>(fms, &fms->msBlock, n + 3, "lagcell");
    for (int k = 0; k < n + 3; k++) {
        LagCell* cell = &c->ring[k];
        cell->next = &c->ring[(k + 1) % (n + 3)];
        cell->prev = &c->ring[(k + n + 2) % (n + 3)];
        cell->len = c->dx;
        cell->r = 1.0 / c->dx;
        cell->x = (k - 0.5) * c->dx;
        cell->Mf = pool_arrayt<double>(fms, &fms->msBlock, std::max(nc, 1), "Mf");
        for (int j = 0; j < nc; j++)
            cell->Mf[j] = upMf ? upMf[j] : 0.0;
    }
    c->head = &c->ring[0];
    c->tail = &c->ring[n + 1];
    c->lagDir = 1;
    c->endN = pool_arrayt<double>(fms, &fms->msBlock, std::max(nc, 1), "Mf0");
    c->endM = pool_arrayt<double>(fms, &fms->msBlock, std::max(nc, 1), "Mf0");
    c->outMf = pool_arrayt<double>(fms, &fms->msBlock, std::max(nc, 1), "MfL");
    for (int j = 0; j < nc; j++)
        c->endN[j] = c->endM[j] = c->outMf[j] = upMf ? upMf[j] : 0.0;
}

static void zeroPivot(FlowmirState* fms, const StsDuct* d)
{
    char time[16];
    if (!timestr(fms, fms->stepEndTime, time)) time[0] = '\0';
    errorf(fms, FATAL, __FILE__, __LINE__, "Zero on diagonal of 1-D duct %d at time %s", d->nr, time);
}

// Axial dispersion of species j, m2/s: one turbulent value for all, or Taylor dispersion.
static double dispersion(const FlowmirState* fms, double a, double Re, int j)
{
    if (Re >= 2000.0) return a * (1.35 / std::pow(Re, 0.125) + 3e7 / std::pow(Re, 2.1));
    double Dm = fms->ctm[j].Dm;
    return Dm > 0.0 ? a * a / (192.0 * Dm) + Dm : 0.0;
}

// Factors the tridiagonal matrix in place: b becomes the pivots, a the multipliers.
static bool factor(int n, double* a, double* b, const double* c)
{
    for (int i = 1; i < n; i++) {
        if (b[i - 1] == 0.0) return false;
        a[i] /= b[i - 1];
        b[i] -= a[i] * c[i - 1];
    }
    return n <= 0 || b[n - 1] != 0.0;
}

static void solveFactored(int n, const double* a, const double* b, const double* c, double* d)
{
    for (int i = 1; i < n; i++)
        d[i] -= a[i] * d[i - 1];
    d[n - 1] /= b[n - 1];
    for (int i = n - 2; i >= 0; i--)
        d[i] = (d[i] - c[i] * d[i + 1]) / b[i];
}

// --- re-gridding -----------------------------------------------------------------------------

// Value of species j at x between the moving cells from head to tail; beyond them the
// nearest end value.
static double valueAt(const DuctCells* c, double x, int j)
{
    const LagCell* a = c->head;
    if (x < a->x) return c->endN[j];
    for (; a != c->tail; a = a->next) {
        const LagCell* b = a->next;
        if (a->x <= x && x < b->x) return ((b->x - x) * a->Mf[j] + (x - a->x) * b->Mf[j]) / (b->x - a->x);
    }
    return c->endM[j];
}

static void regrid(FlowmirState* fms, StsRun* s, DuctCells* c)
{
    int nc = fms->nctm, n = c->n;
    double* v = s->tx; // [0..n+1] the grid values of one species
    LagCell* h = c->head;
    // A species reads only its own values and the positions, which move last.
    for (int j = 0; j < nc; j++) {
        v[0] = c->endN[j];
        v[n + 1] = c->endM[j];
        for (int k = 1; k <= n; k++)
            v[k] = valueAt(c, (k - 0.5) * c->dx, j);
        LagCell* cell = h;
        for (int k = 0; k <= n + 1; k++, cell = cell->next)
            cell->Mf[j] = v[k];
    }
    LagCell* cell = h;
    for (int k = 0; k <= n + 1; k++, cell = cell->next) {
        cell->x = (k - 0.5) * c->dx;
        cell->len = c->dx;
        cell->r = 1.0 / c->dx;
        c->tail = cell;
    }
    c->lagDir = 0;
}

// --- fixed cells -------------------------------------------------------------------------------

// Rows of the n interior cells and the downstream ghost, for dispersion E of one species.
static void eulerRows(const DuctCells* c, double u, double E, double dt, StsRun* s)
{
    int n = c->n;
    double Ep = E / c->dx, S = c->dx / dt;
    double aW = std::max({0.0, u, Ep + u / 2}), aE = std::max({0.0, -u, Ep - u / 2});
    double aUp = u > 0.0 ? aW : aE;
    int m = n + 1;
    for (int i = 0; i < m; i++) {
        s->ta[i] = -aW;
        s->tc[i] = -aE;
        s->tb[i] = aW + aE + S;
    }
    s->ta[0] = 0.0;
    s->tc[m - 1] = 0.0;
    s->tb[0] = aUp + S;
    s->tb[m - 1] = aUp + S;
}

static void eulerStep(FlowmirState* fms, StsRun* s, StsDuct* d, double u, const double* up, double a,
                      double Re)
{
    fms->nDuctEul++;
    DuctCells* c = d->cells;
    int n = c->n, nc = fms->nctm, m = n + 1;
    double dt = fms->dt, S = c->dx / dt;
    LagCell* grid0 = c->head;
    if (u == 0.0) {
        for (int j = 0; j < nc; j++) {
            c->head->Mf[j] = c->head->next->Mf[j];
            c->tail->Mf[j] = c->tail->prev->Mf[j];
            c->outMf[j] = 0.0;
        }
        return;
    }
    // the variables: cells 1..n and the tail (u > 0), or the head and cells 1..n (u < 0)
    LagCell* first = u > 0.0 ? grid0->next : grid0;
    bool turbulent = Re >= 2000.0;
    if (turbulent) {
        eulerRows(c, u, dispersion(fms, a, Re, 0), dt, s);
        if (!factor(m, s->ta, s->tb, s->tc)) zeroPivot(fms, d);
    }
    for (int j = 0; j < nc; j++) {
        if (!turbulent) {
            eulerRows(c, u, dispersion(fms, a, Re, j), dt, s);
            if (!factor(m, s->ta, s->tb, s->tc)) zeroPivot(fms, d);
        }
        LagCell* cell = first;
        for (int i = 0; i < m; i++, cell = cell->next)
            s->td[i] = S * cell->Mf[j];
        if (u > 0.0)
            s->td[0] += u * up[j];
        else
            s->td[m - 1] -= u * up[j];
        solveFactored(m, s->ta, s->tb, s->tc, s->td);
        cell = first;
        for (int i = 0; i < m; i++, cell = cell->next)
            cell->Mf[j] = s->td[i];
        if (u > 0.0) {
            c->outMf[j] = (c->tail->prev->Mf[j] + c->tail->Mf[j]) / 2;
            c->head->Mf[j] = c->head->next->Mf[j];
        } else {
            c->outMf[j] = (c->head->Mf[j] + c->head->next->Mf[j]) / 2;
            c->tail->Mf[j] = c->tail->prev->Mf[j];
        }
    }
}

// --- moving cells ------------------------------------------------------------------------------

// Dispersion between the active cells from head to tail: each cell keeps its mass apart from
// what it exchanges with its neighbours; the entering cell brings the upstream value.
static void lagrangeSolve(FlowmirState* fms, StsRun* s, StsDuct* d, LagCell* entering, const double* up,
                          double C, double a, double Re)
{
    DuctCells* c = d->cells;
    int nc = fms->nctm;
    double dt = fms->dt;
    int m = 0;
    for (LagCell* cell = c->head;; cell = cell->next) {
        m++;
        if (cell == c->tail) break;
    }
    bool turbulent = Re >= 2000.0;
    auto rows = [&](double E) {
        int i = 0;
        for (LagCell* cell = c->head;; cell = cell->next, i++) {
            double west = cell == c->head ? 0.0 : dt * E * cell->prev->r;
            double east = cell == c->tail ? 0.0 : dt * E * cell->r;
            s->ta[i] = -west;
            s->tc[i] = -east;
            s->tb[i] = cell->len + west + east;
            if (cell == c->tail) break;
        }
        if (!factor(m, s->ta, s->tb, s->tc)) zeroPivot(fms, d);
    };
    if (turbulent) rows(dispersion(fms, a, Re, 0));
    for (int j = 0; j < nc; j++) {
        if (!turbulent) rows(dispersion(fms, a, Re, j));
        int i = 0;
        for (LagCell* cell = c->head;; cell = cell->next, i++) {
            s->td[i] = cell == entering ? std::fabs(C) * up[j] : cell->len * cell->Mf[j];
            if (cell == c->tail) break;
        }
        solveFactored(m, s->ta, s->tb, s->tc, s->td);
        i = 0;
        for (LagCell* cell = c->head;; cell = cell->next, i++) {
            cell->Mf[j] = s->td[i];
            if (cell == c->tail) break;
        }
    }
}

// Species values at x between the last active cell at or before x and the next one.
static void interpolate(const DuctCells* c, double x, int nc, double* out)
{
    const LagCell* K = c->head;
    while (K != c->tail && K->next->x <= x)
        K = K->next;
    const LagCell* K1 = K == c->tail ? nullptr : K->next;
    for (int j = 0; j < nc; j++) {
        if (!K1 || K1->x == K->x || x < K->x)
            out[j] = K->Mf[j];
        else
            out[j] = ((x - K->x) * K1->Mf[j] + (K1->x - x) * K->Mf[j]) / (K1->x - K->x);
    }
}

static void lagrangeTowardsM(FlowmirState* fms, StsRun* s, StsDuct* d, const double* up, double C, double a,
                             double Re)
{
    DuctCells* c = d->cells;
    int nc = fms->nctm;
    double L = c->L, dx = c->dx;
    for (LagCell* cell = c->head->next;; cell = cell->next) {
        cell->x += C;
        if (cell == c->tail) break;
    }
    LagCell* h = c->head;
    h->x = C / 2;
    h->len = C;
    h->r = 1.0 / (h->next->x - C / 2);
    lagrangeSolve(fms, s, d, h, up, C, a, Re);
    for (int j = 0; j < nc; j++)
        c->endN[j] = h->Mf[j];
    interpolate(c, L + C / 2, nc, c->outMf);
    for (int j = 0; j < nc; j++)
        c->endM[j] = c->outMf[j];
    // cells beyond the M end return to the spares
    LagCell* t = c->tail;
    while (t->prev != c->head && t->prev->x >= L)
        t = t->prev;
    c->tail = t;
    if (c->head->prev == c->tail) return;
    LagCell* nh = c->head->prev;
    nh->x = -dx / 2;
    nh->len = dx;
    nh->r = 1.0 / dx;
    for (int j = 0; j < nc; j++)
        nh->Mf[j] = h->Mf[j];
    c->head = nh;
}

static void lagrangeTowardsN(FlowmirState* fms, StsRun* s, StsDuct* d, const double* up, double C, double a,
                             double Re)
{
    DuctCells* c = d->cells;
    int nc = fms->nctm;
    double L = c->L, dx = c->dx;
    for (LagCell* cell = c->head; cell != c->tail; cell = cell->next)
        cell->x += C;
    LagCell* t = c->tail;
    t->x = L + C / 2;
    t->len = -C;
    t->r = 1.0 / dx;
    t->prev->r = 1.0 / (t->x - t->prev->x);
    lagrangeSolve(fms, s, d, t, up, C, a, Re);
    for (int j = 0; j < nc; j++)
        c->endM[j] = t->Mf[j];
    interpolate(c, C / 2, nc, c->outMf);
    for (int j = 0; j < nc; j++)
        c->endN[j] = c->outMf[j];
    // cells beyond the N end return to the spares
    LagCell* h = c->head;
    while (h->next != c->tail && h->next->x <= 0.0)
        h = h->next;
    c->head = h;
    if (c->tail->next == c->head) return;
    LagCell* nt = c->tail->next;
    nt->x = L + dx / 2;
    nt->len = dx;
    nt->r = 1.0 / dx;
    t->r = 1.0 / (nt->x - t->x);
    for (int j = 0; j < nc; j++)
        nt->Mf[j] = t->Mf[j];
    c->tail = nt;
}

void sts_duct_step(FlowmirState* fms, StsDuct* d, const double* up)
{
    StsRun* s = fms->sts;
    DuctCells* c = d->cells;
    const AirLink* l = d->link;
    const AirNode* un = d->F >= 0.0 ? l->nodeN : l->nodeM;
    double rho = un->rho > 0.0 ? un->rho : 1.2041;
    double mu = un->mu > 0.0f ? un->mu : 1.81625e-5;
    double u = d->F / (c->A * rho);
    double dt = fms->dt;
    double C = u * dt;
    double Re = rho * std::fabs(u) * c->D / mu;
    double a = std::fabs(u) * c->D;

    if (c->lagDir == 0) {
        if (C > c->dx + SWITCH_MARGIN)
            c->lagDir = 1;
        else if (C < -(c->dx + SWITCH_MARGIN))
            c->lagDir = -1;
    } else if (0.5 * c->dx > dt * std::fabs(u)) {
        regrid(fms, s, c);
    } else if (c->lagDir * u < 0.0) {
        c->lagDir = -c->lagDir;
    }
    if (c->lagDir == 0) {
        eulerStep(fms, s, d, u, up, a, Re);
        return;
    }
    fms->nDuctLag++;
    if (c->lagDir > 0)
        lagrangeTowardsM(fms, s, d, up, C, a, Re);
    else
        lagrangeTowardsN(fms, s, d, up, C, a, Re);
    // no spare cell left for the next entering one
    if (c->head->prev == c->tail) regrid(fms, s, c);
}
