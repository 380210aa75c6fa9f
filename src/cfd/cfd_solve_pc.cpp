// The pressure correction of continuity and the corrections of velocity and pressure that
// follow it.
#include <cmath>

#include "cfd/cfd_solve.h"

void cfd_pressure_correction(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    CfdIdx g = cfd_idx(r);
    double* vel[3] = {cfd_flat(r->U), cfd_flat(r->V), cfd_flat(r->W)};
    double* dc[3] = {cfd_flat(r->DX), cfd_flat(r->DY), cfd_flat(r->DZ)};
    double* lo[3] = {cfd_flat(r->AW), cfd_flat(r->AS), cfd_flat(r->AB)};
    double* hi[3] = {cfd_flat(r->AE), cfd_flat(r->AN), cfd_flat(r->AT)};
    double* ap = cfd_flat(r->AP);
    double* bs = cfd_flat(r->BS);
    double* sp = cfd_flat(r->SP);
    double* pp = cfd_flat(r->PP);
    double* P = cfd_flat(r->P);
    const double* del[3] = {r->DELX, r->DELY, r->DELZ};
    double rho = r->rho;
    CfdBox box;
    for (int e = 0; e < 3; e++) {
        box.lo[e] = 2;
        box.hi[e] = g.n[e] + 1;
    }
    double rc = 0.0;
    int idx[3];
    for (idx[0] = 2; idx[0] <= box.hi[0]; idx[0]++)
        for (idx[1] = 2; idx[1] <= box.hi[1]; idx[1]++) {
            long p = cfd_at(g, idx[0], idx[1], 2);
            for (idx[2] = 2; idx[2] <= box.hi[2]; idx[2]++, p++) {
                double sum = 0.0, imbalance = 0.0;
                for (int e = 0; e < 3; e++) {
                    int a = (e + 1) % 3, b = (e + 2) % 3;
                    double area = del[a][idx[a]] * del[b][idx[b]];
                    long se = g.s[e];
                    hi[e][p] = rho * area * dc[e][p + se];
                    lo[e][p] = rho * area * dc[e][p];
                    imbalance += rho * (vel[e][p] - vel[e][p + se]) * area;
                    sum += hi[e][p] + lo[e][p];
                }
                sp[p] = 0.0;
                ap[p] = sum;
                bs[p] = imbalance;
                pp[p] = 0.0;
                rc += fabs(imbalance);
            }
        }
    r->rc = rc;
    if (r->flowSolutions == 0 && r->iter <= 5 && rc > r->rcRef) r->rcRef = rc;
    cfd_bcpatch(fms);
    for (long p = 0; p < g.points; p++)
        if (ap[p] == 0.0) ap[p] = 1e-29;

    if (fms->cfdMultigrid)
        cfd_mg_solve(fms, pp, box);
    else
        cfd_sweep(fms, pp, box, 5);

    // Velocities on the faces between cells, then the openings' faces.
    for (int e = 0; e < 3; e++) {
        if (g.n[e] == 1) continue;
        long se = g.s[e];
        for (idx[0] = 2; idx[0] <= box.hi[0]; idx[0]++)
            for (idx[1] = 2; idx[1] <= box.hi[1]; idx[1]++)
                for (idx[2] = 2; idx[2] <= box.hi[2]; idx[2]++) {
                    if (idx[e] == 2) continue;
                    long p = cfd_at(g, idx[0], idx[1], idx[2]);
                    vel[e][p] += dc[e][p] * (pp[p - se] - pp[p]);
                }
    }
    cfd_opening_correct(fms);
    double ref = 0.0;
    if (!r->hasPressure) ref = r->PP[r->pref[0]][r->pref[1]][r->pref[2]];
    double alpha = r->relax[3];
    for (idx[0] = 2; idx[0] <= box.hi[0]; idx[0]++)
        for (idx[1] = 2; idx[1] <= box.hi[1]; idx[1]++)
            for (idx[2] = 2; idx[2] <= box.hi[2]; idx[2]++) {
                long p = cfd_at(g, idx[0], idx[1], idx[2]);
                P[p] += alpha * (pp[p] - ref);
            }
    for (long p = 0; p < g.points; p++)
        pp[p] = 0.0;
    // The boundary layers carry the pressure of the cells next to them, for the reports.
    cfd_layers_from_cells(r, P);
}
