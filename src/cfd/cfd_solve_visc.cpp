// The effective viscosity of every cell and the cell-centre velocities it is made from.
#include <cmath>

#include "cfd/cfd_solve.h"

// Mixing-length constant of the zero-equation model.
static const double ZERO_EQ = 0.03874;

void cfd_centre_velocities(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    CfdIdx g = cfd_idx(r);
    const double* vel[3] = {cfd_flat(r->U), cfd_flat(r->V), cfd_flat(r->W)};
    double* cen[3] = {cfd_flat(r->UP), cfd_flat(r->VP), cfd_flat(r->WP)};
    double* vtt = cfd_flat(r->VTT);
    for (int i = 2; i <= r->ni + 1; i++)
        for (int j = 2; j <= r->nj + 1; j++) {
            long p = cfd_at(g, i, j, 2);
            for (int k = 2; k <= r->nk + 1; k++, p++) {
                double s = 0.0;
                for (int d = 0; d < 3; d++) {
                    double c = g.n[d] == 1 ? 0.0 : 0.5 * (vel[d][p] + vel[d][p + g.s[d]]);
                    cen[d][p] = c;
                    s += c * c;
                }
                vtt[p] = sqrt(s);
            }
        }
}

void cfd_viscosity(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    CfdIdx g = cfd_idx(r);
    cfd_centre_velocities(fms);
    double* vis = cfd_flat(r->VIS);
    const double* vtt = cfd_flat(r->VTT);
    double lam = r->rho * r->nu;
    for (int i = 2; i <= r->ni + 1; i++)
        for (int j = 2; j <= r->nj + 1; j++) {
            long p = cfd_at(g, i, j, 2);
            for (int k = 2; k <= r->nk + 1; k++, p++) {
                if (r->laminar) {
                    vis[p] = lam;
                    continue;
                }
                double l = 1e30;
                if (r->ni > 1) l = fmin(l, fmin(r->X[i], r->Lx - r->X[i]));
                if (r->nj > 1) l = fmin(l, fmin(r->Y[j], r->Ly - r->Y[j]));
                if (r->nk > 1) l = fmin(l, fmin(r->Z[k], r->Lz - r->Z[k]));
                if (l > 1e29) l = 0.0;
                vis[p] = r->rho * (r->nu + ZERO_EQ * vtt[p] * l);
            }
        }
    cfd_layers_from_cells(r, vis);
}

// The boundary layers of a cell field take the values of the cells next to them.
void cfd_layers_from_cells(const CfdRun* r, double* field)
{
    CfdIdx g = cfd_idx(r);
    for (int d = 0; d < 3; d++) {
        int a = (d + 1) % 3, b = (d + 2) % 3;
        int q[3];
        for (q[a] = 1; q[a] <= g.n[a] + 2; q[a]++)
            for (q[b] = 1; q[b] <= g.n[b] + 2; q[b]++) {
                q[d] = 1;
                long p = cfd_at(g, q[0], q[1], q[2]);
                field[p] = field[p + g.s[d]];
                q[d] = g.n[d] + 2;
                p = cfd_at(g, q[0], q[1], q[2]);
                field[p] = field[p - g.s[d]];
            }
    }
}
