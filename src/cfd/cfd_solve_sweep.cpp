// Line sweeps: every grid line of a direction solved by the tridiagonal algorithm, the
// neighbours across the line taken from the current values, for each resolved direction in
// turn. The order in which lines are visited flips from one call to the next.
#include <cmath>

#include "cfd/cfd_solve.h"

static const double PIVOT = 1e-10;

// One direction d: lines along d, one for each point of the box's other two ranges.
static void sweepLines(const CfdSys& q, double* P, double* Q, double* phi, const CfdBox& box, int d, int reverse)
{
    double* const* lo = q.lo;
    double* const* hi = q.hi;
    const double* ap = q.ap;
    const double* bs = q.bs;
    int a = (d + 1) % 3, b = (d + 2) % 3;
    long sd = q.s[d], sa = q.s[a], sb = q.s[b];
    int n = box.hi[d] - box.lo[d] + 1;
    if (n < 1) return;
    int ia0 = box.lo[a], ia1 = box.hi[a], ib0 = box.lo[b], ib1 = box.hi[b];
    for (int ta = 0; ta <= ia1 - ia0; ta++) {
        int ia = reverse ? ia1 - ta : ia0 + ta;
        for (int tb = 0; tb <= ib1 - ib0; tb++) {
            int ib = reverse ? ib1 - tb : ib0 + tb;
            int idx[3];
            idx[d] = box.lo[d];
            idx[a] = ia;
            idx[b] = ib;
            long p0 = (idx[0] - 1) * q.s[0] + (idx[1] - 1) * q.s[1] + (idx[2] - 1) * q.s[2];
            long p = p0;
            for (int l = 0; l < n; l++, p += sd) {
                double rhs = bs[p] + lo[a][p] * phi[p - sa] + hi[a][p] * phi[p + sa] + lo[b][p] * phi[p - sb] +
                             hi[b][p] * phi[p + sb];
                double low = lo[d][p];
                if (l == 0) {
                    rhs += low * phi[p - sd];
                    low = 0.0;
                }
                if (l == n - 1) rhs += hi[d][p] * phi[p + sd];
                double up = l == n - 1 ? 0.0 : hi[d][p];
                double den = ap[p] - (l > 0 ? low * P[l - 1] : 0.0);
                if (fabs(den) < PIVOT) den = PIVOT;
                P[l] = up / den;
                Q[l] = (rhs + (l > 0 ? low * Q[l - 1] : 0.0)) / den;
            }
            p = p0 + (n - 1) * sd;
            phi[p] = Q[n - 1];
            for (int l = n - 2; l >= 0; l--) {
                p -= sd;
                phi[p] = P[l] * phi[p + sd] + Q[l];
            }
        }
    }
}

void cfd_sys_sweep(FlowmirState* fms, const CfdSys& q, double* phi, const CfdBox& box, int cycles)
{
    CfdRun* r = fms->cfdRun;
    for (int c = 0; c < cycles; c++) {
        for (int d = 0; d < 3; d++)
            if (q.n[d] > 1) sweepLines(q, r->a, r->b, phi, box, d, r->flip);
        r->flip = !r->flip;
    }
}

CfdSys cfd_fine_sys(CfdRun* r)
{
    CfdIdx g = cfd_idx(r);
    CfdSys q;
    q.lo[0] = cfd_flat(r->AW);
    q.lo[1] = cfd_flat(r->AS);
    q.lo[2] = cfd_flat(r->AB);
    q.hi[0] = cfd_flat(r->AE);
    q.hi[1] = cfd_flat(r->AN);
    q.hi[2] = cfd_flat(r->AT);
    q.ap = cfd_flat(r->AP);
    q.bs = cfd_flat(r->BS);
    for (int d = 0; d < 3; d++) {
        q.s[d] = g.s[d];
        q.n[d] = g.n[d];
    }
    return q;
}

void cfd_sweep(FlowmirState* fms, double* phi, const CfdBox& box, int cycles)
{
    cfd_sys_sweep(fms, cfd_fine_sys(fms->cfdRun), phi, box, cycles);
}
