// Places of the case's objects checked against the grid, and the areas derived from them.
#include <cstring>

#include "cfd/cfd.h"
#include "support/error.h"

static bool inCells(const CfdRun* r, const CfdRange& q)
{
    int n[3] = {r->ni, r->nj, r->nk};
    for (int d = 0; d < 3; d++)
        if (q.lo[d] < 2 || q.hi[d] < q.lo[d] || q.hi[d] > n[d] + 1) return false;
    return true;
}

// The domain face a cell range lies on: the first resolved direction in which the range is one
// cell thick at the first or last cell. -1 for none.
int cfd_face(const CfdRun* r, const CfdRange& q)
{
    int n[3] = {r->ni, r->nj, r->nk};
    for (int d = 0; d < 3; d++) {
        if (n[d] == 1 || q.lo[d] != q.hi[d]) continue;
        if (q.lo[d] == 2) return 2 * d;
        if (q.lo[d] == n[d] + 1) return 2 * d + 1;
    }
    return -1;
}

double cfd_face_area(const CfdRun* r, const CfdRange& q, int face)
{
    int d = face / 2;
    const double* del[3] = {r->DELX, r->DELY, r->DELZ};
    int a = (d + 1) % 3, b = (d + 2) % 3;
    double sa = 0.0, sb = 0.0;
    for (int i = q.lo[a]; i <= q.hi[a]; i++)
        sa += del[a][i];
    for (int i = q.lo[b]; i <= q.hi[b]; i++)
        sb += del[b][i];
    return sa * sb;
}

static void openingPlace(FlowmirState* fms, CfdOpening& o, const char* message)
{
    CfdRun* r = fms->cfdRun;
    o.face = inCells(r, o.lb) ? cfd_face(r, o.lb) : -1;
    if (o.face < 0) error(fms, FATAL, __FILE__, __LINE__, message, "");
    o.area = cfd_face_area(r, o.lb, o.face);
}

static void wallPlace(FlowmirState* fms, CfdWall& w, const char* message)
{
    CfdRun* r = fms->cfdRun;
    w.face = inCells(r, w.lb) ? cfd_face(r, w.lb) : -1;
    if (w.face < 0) error(fms, FATAL, __FILE__, __LINE__, message, "");
    w.awq = cfd_face_area(r, w.lb, w.face);
}

static bool cellInside(const CfdRun* r, const int* c)
{
    return c[0] >= 2 && c[0] <= r->ni + 1 && c[1] >= 2 && c[1] <= r->nj + 1 && c[2] >= 2 && c[2] <= r->nk + 1;
}

void cfd_check(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    for (int n = 1; n <= r->nin; n++)
        openingPlace(fms, r->in[n], "CFD input file error inlet location setup");
    for (int n = 1; n <= r->nout; n++)
        openingPlace(fms, r->out[n], "CFD input file error outlet location setup");
    for (int w = 1; w <= r->ntw; w++) {
        CfdWall& wall = r->tw[w];
        wallPlace(fms, wall, "CFD input file error constant temperature wall location setup");
        // A moving wall slides along itself: a velocity through it would leave the domain.
        if (wall.moving && wall.vel[wall.face / 2] != 0.0)
            errorf(fms, FATAL, __FILE__, __LINE__,
                   "CFD input error of moving wall %d: its velocity must lie in the wall's plane", w);
    }
    for (int w = 1; w <= r->nqw; w++)
        wallPlace(fms, r->qw[w], "CFD input file error constant heat flux wall location setup");
    for (int b = 1; b <= r->nbl; b++)
        if (!inCells(r, r->bl[b].ib))
            errorf(fms, FATAL, __FILE__, __LINE__, "CFD input file error block location setup: %s",
                   r->bl[b].name);
    if (!cellInside(r, r->mon))
        errorf(fms, FATAL, __FILE__, __LINE__, "CFD input file error monitor cell location setup: %d,%d,%d",
               r->mon[0], r->mon[1], r->mon[2]);
    // Pressure-type openings fix the pressure level: the reference cell is then not used.
    if (!r->hasPressure && !cellInside(r, r->pref))
        errorf(fms, FATAL, __FILE__, __LINE__,
               "CFD input file error pressure reference cell location setup: %d,%d,%d", r->pref[0],
               r->pref[1], r->pref[2]);
    int n[3] = {r->ni, r->nj, r->nk};
    for (int a = 0; a < 2; a++) {
        const int* q = r->rep[a];
        // A step of 0 would never leave the range.
        if (q[0] < 2 || q[1] < q[0] || q[1] > n[a] + 1 || q[2] < 1)
            errorf(fms, FATAL, __FILE__, __LINE__,
                   "CFD input file error result report range setup: %c %d,%d,%d", "IJ"[a], q[0] - 1, q[1] - 1,
                   q[2]);
    }
    for (int d = 0; d < 3; d++)
        for (int s = 1; s <= r->nsl[d]; s++)
            if (r->sl[d][s] < 2 || r->sl[d][s] > n[d] + 1)
                errorf(fms, FATAL, __FILE__, __LINE__, "CFD input file error slice location setup: %c %d",
                       "xyz"[d], r -> sl[d][s] - 1);
}

CfdOpening* cfd_opening(FlowmirState* fms, const char* name)
{
    CfdRun* r = fms->cfdRun;
    for (int n = 1; n <= r->nin; n++)
        if (!strcmp(r->in[n].name, name)) return &r->in[n];
    for (int n = 1; n <= r->nout; n++)
        if (!strcmp(r->out[n].name, name)) return &r->out[n];
    errorf(fms, FATAL, __FILE__, __LINE__, "CFD case has no opening named %s", name);
    return nullptr;
}
