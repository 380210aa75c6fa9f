// A velocity component's equation on its staggered cells: U on the west faces of the cells,
// V on the south faces, W on the bottom faces. The faces on the domain boundary hold the
// boundary values (walls, openings); the faces between two cells are the unknowns.
#include <cmath>

#include "cfd/cfd_solve.h"

double cfd_scheme(int code, double peclet)
{
    if (code == 1) return 1.0;
    double t = 1.0 - 0.1 * fabs(peclet);
    if (t <= 0.0) return 0.0;
    double t2 = t * t;
    return t2 * t2 * t;
}

// The neighbour coefficients of a face: on the face's upper side (east, north, top) and on
// its lower side.
static inline double upperCoef(int scheme, double F, double D)
{
    return (D > 0.0 ? D * cfd_scheme(scheme, F / D) : 0.0) + (F < 0.0 ? -F : 0.0);
}
static inline double lowerCoef(int scheme, double F, double D)
{
    return (D > 0.0 ? D * cfd_scheme(scheme, F / D) : 0.0) + (F > 0.0 ? F : 0.0);
}

void cfd_momentum(FlowmirState* fms, int d, double* residual, double* reference)
{
    CfdRun* r = fms->cfdRun;
    CfdIdx g = cfd_idx(r);
    double*** fields[3] = {r->U, r->V, r->W};
    double*** olds[3] = {r->UOLD, r->VOLD, r->WOLD};
    double*** dcoef[3] = {r->DX, r->DY, r->DZ};
    double* vel[3] = {cfd_flat(r->U), cfd_flat(r->V), cfd_flat(r->W)};
    double* phi = cfd_flat(fields[d]);
    const double* old = r->cfdSteady || r->flowSolutions == 0 ? phi : cfd_flat(olds[d]);
    double* dc = cfd_flat(dcoef[d]);
    const double* vis = cfd_flat(r->VIS);
    const double* P = cfd_flat(r->P);
    const double* T = cfd_flat(r->T);
    const int* cell = cfd_flat(r->ICELL);
    double* lo[3] = {cfd_flat(r->AW), cfd_flat(r->AS), cfd_flat(r->AB)};
    double* hi[3] = {cfd_flat(r->AE), cfd_flat(r->AN), cfd_flat(r->AT)};
    double* ap = cfd_flat(r->AP);
    double* bs = cfd_flat(r->BS);
    const double* del[3] = {r->DELX, r->DELY, r->DELZ};
    const double* delc[3] = {r->DELXC, r->DELYC, r->DELZC};
    int a = (d + 1) % 3, b = (d + 2) % 3;
    int nd = g.n[d];
    long sd = g.s[d];
    int scheme = r->scheme[d];
    double alpha = r->relax[d];
    double rho = r->rho;
    double rdt = rho / r->ftsNow[d];
    double buoy = (d == 2 && r->energy) ? rho * r->g * r->beta : 0.0;

    CfdBox box;
    for (int e = 0; e < 3; e++) {
        box.lo[e] = 2;
        box.hi[e] = g.n[e] + 1;
    }
    box.lo[d] = 3;
    double res = 0.0, ref = 0.0;
    int idx[3];
    for (idx[0] = box.lo[0]; idx[0] <= box.hi[0]; idx[0]++)
        for (idx[1] = box.lo[1]; idx[1] <= box.hi[1]; idx[1]++)
            for (idx[2] = box.lo[2]; idx[2] <= box.hi[2]; idx[2]++) {
                long p = cfd_at(g, idx[0], idx[1], idx[2]);
                int l = idx[d];
                double w = delc[d][l - 1];
                double fac = 1.0;
                if (l == 3) fac += delc[d][1] / w;
                if (l == nd + 1) fac += delc[d][nd + 1] / w;
                double area = del[a][idx[a]] * del[b][idx[b]];
                // Along d: the faces of the staggered cell are the centres of the two cells.
                double Fp = rho * 0.5 * (phi[p] + phi[p + sd]) * area;
                double Dp = vis[p] * area / del[d][l];
                double Fm = rho * 0.5 * (phi[p - sd] + phi[p]) * area;
                double Dm = vis[p - sd] * area / del[d][l - 1];
                double aSum = 0.0;
                hi[d][p] = upperCoef(scheme, Fp, Dp);
                lo[d][p] = lowerCoef(scheme, Fm, Dm);
                aSum += hi[d][p] + lo[d][p];
                for (int t = 0; t < 2; t++) {
                    int e = t == 0 ? a : b, o = t == 0 ? b : a;
                    if (g.n[e] == 1) {
                        hi[e][p] = lo[e][p] = 0.0;
                        continue;
                    }
                    long se = g.s[e];
                    int ie = idx[e];
                    double lat = w * fac * del[o][idx[o]];
                    double Fu = rho * 0.5 * (vel[e][p - sd + se] + vel[e][p + se]) * lat;
                    double Gu = 0.25 * (vis[p - sd] + vis[p] + vis[p - sd + se] + vis[p + se]);
                    double Fl = rho * 0.5 * (vel[e][p - sd] + vel[e][p]) * lat;
                    double Gl = 0.25 * (vis[p - sd] + vis[p] + vis[p - sd - se] + vis[p - se]);
                    hi[e][p] = upperCoef(scheme, Fu, Gu * lat / delc[e][ie]);
                    lo[e][p] = lowerCoef(scheme, Fl, Gl * lat / delc[e][ie - 1]);
                    aSum += hi[e][p] + lo[e][p];
                }
                double vcv = w * area;
                double tr = rdt * vcv * fac;
                double sp = 0.0;
                double src = (P[p - sd] - P[p]) * area + tr * old[p];
                if (buoy != 0.0) src += buoy * (0.5 * (T[p - sd] + T[p]) - r->Tref) * vcv;
                // A face touching a solid cell is held at rest (both cells are inside the domain).
                if (cell[p - sd] || cell[p]) sp = -1e10;
                double apu = aSum + tr - sp;
                if (sp == 0.0) {
                    double s = src - apu * phi[p];
                    for (int e = 0; e < 3; e++)
                        s += lo[e][p] * phi[p - g.s[e]] + hi[e][p] * phi[p + g.s[e]];
                    res += fabs(s);
                }
                dc[p] = area * alpha / apu;
                double apr = apu / alpha;
                ap[p] = apr;
                bs[p] = src + (1.0 - alpha) * apr * phi[p];
                if (sp == 0.0) ref += fabs(apu * phi[p]);
            }
    // Faces on the boundary take no correction: their factors keep the zeros of the allocation.
    if (box.hi[d] >= box.lo[d]) cfd_sweep(fms, phi, box, 1);
    double vmin = r->bound[2 * d], vmax = r->bound[2 * d + 1];
    for (idx[0] = box.lo[0]; idx[0] <= box.hi[0]; idx[0]++)
        for (idx[1] = box.lo[1]; idx[1] <= box.hi[1]; idx[1]++)
            for (idx[2] = box.lo[2]; idx[2] <= box.hi[2]; idx[2]++) {
                long p = cfd_at(g, idx[0], idx[1], idx[2]);
                if (phi[p] < vmin) phi[p] = vmin;
                if (phi[p] > vmax) phi[p] = vmax;
            }
    *residual = res;
    *reference = ref;
}
