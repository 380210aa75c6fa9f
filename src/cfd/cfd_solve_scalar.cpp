// The scalar equations on the cells: energy (temperature, with the conductivity VIS/Pr) and
// the contaminants' mass fractions (with the diffusivity VIS).
#include <cmath>

#include "cfd/cfd_solve.h"

static inline double upperCoef(int scheme, double F, double D)
{
    return D * cfd_scheme(scheme, F / D) + (F < 0.0 ? -F : 0.0);
}
static inline double lowerCoef(int scheme, double F, double D)
{
    return D * cfd_scheme(scheme, F / D) + (F > 0.0 ? F : 0.0);
}

// Assembles the equation of phi into AE..AB, AP, BS; old is the previous step's field.
static void assemble(FlowmirState* fms, int eq, double*** field, const double* old, double gamma, int scheme,
                     double dt, int m)
{
    CfdRun* r = fms->cfdRun;
    CfdIdx g = cfd_idx(r);
    const double* vel[3] = {cfd_flat(r->U), cfd_flat(r->V), cfd_flat(r->W)};
    double* lo[3] = {cfd_flat(r->AW), cfd_flat(r->AS), cfd_flat(r->AB)};
    double* hi[3] = {cfd_flat(r->AE), cfd_flat(r->AN), cfd_flat(r->AT)};
    double* ap = cfd_flat(r->AP);
    double* bs = cfd_flat(r->BS);
    double* sp = cfd_flat(r->SP);
    const double* vis = cfd_flat(r->VIS);
    const int* cell = cfd_flat(r->ICELL);
    const double* del[3] = {r->DELX, r->DELY, r->DELZ};
    const double* delc[3] = {r->DELXC, r->DELYC, r->DELZC};
    double rho = r->rho;
    int idx[3];
    for (idx[0] = 2; idx[0] <= r->ni + 1; idx[0]++)
        for (idx[1] = 2; idx[1] <= r->nj + 1; idx[1]++)
            for (idx[2] = 2; idx[2] <= r->nk + 1; idx[2]++) {
                long p = cfd_at(g, idx[0], idx[1], idx[2]);
                double sum = 0.0;
                for (int e = 0; e < 3; e++) {
                    hi[e][p] = lo[e][p] = 0.0;
                    if (g.n[e] == 1) continue;
                    int a = (e + 1) % 3, b = (e + 2) % 3;
                    double area = del[a][idx[a]] * del[b][idx[b]];
                    long se = g.s[e];
                    // Faces on the domain boundary and on blocks are added by their objects.
                    if (idx[e] < g.n[e] + 1 && !cell[p + se]) {
                        double F = rho * vel[e][p + se] * area;
                        double D = gamma * 0.5 * (vis[p] + vis[p + se]) * area / delc[e][idx[e]];
                        hi[e][p] = upperCoef(scheme, F, D);
                    }
                    if (idx[e] > 2 && !cell[p - se]) {
                        double F = rho * vel[e][p] * area;
                        double D = gamma * 0.5 * (vis[p] + vis[p - se]) * area / delc[e][idx[e] - 1];
                        lo[e][p] = lowerCoef(scheme, F, D);
                    }
                    sum += hi[e][p] + lo[e][p];
                }
                double tr = rho * r->VOL[idx[0]][idx[1]][idx[2]] / dt;
                sp[p] = cell[p] ? -1e10 : 0.0;
                ap[p] = sum + tr - sp[p];
                bs[p] = tr * old[p];
            }
    cfd_scalar_boundaries(fms, eq, field, m);
}

// Sum of |residual| (or of its square) and of |aP phi| over the fluid cells.
static void residual(const CfdRun* r, const double* phi, double* sumAbs, double* sumSq, double* ref)
{
    CfdIdx g = cfd_idx(r);
    const double* lo[3] = {cfd_flat(r->AW), cfd_flat(r->AS), cfd_flat(r->AB)};
    const double* hi[3] = {cfd_flat(r->AE), cfd_flat(r->AN), cfd_flat(r->AT)};
    const double* ap = cfd_flat(r->AP);
    const double* bs = cfd_flat(r->BS);
    const int* cell = cfd_flat(r->ICELL);
    double sa = 0.0, sq = 0.0, rf = 0.0;
    for (int i = 2; i <= r->ni + 1; i++)
        for (int j = 2; j <= r->nj + 1; j++) {
            long p = cfd_at(g, i, j, 2);
            for (int k = 2; k <= r->nk + 1; k++, p++) {
                if (cell[p]) continue;
                double s = bs[p] - ap[p] * phi[p];
                for (int e = 0; e < 3; e++)
                    s += lo[e][p] * phi[p - g.s[e]] + hi[e][p] * phi[p + g.s[e]];
                sa += fabs(s);
                sq += s * s;
                rf += fabs(ap[p] * phi[p]);
            }
        }
    *sumAbs = sa;
    *sumSq = sq;
    *ref = rf;
}

static CfdBox cells(const CfdRun* r)
{
    CfdBox box = {{2, 2, 2}, {r->ni + 1, r->nj + 1, r->nk + 1}};
    return box;
}

void cfd_energy(FlowmirState* fms, double* res, double* ref)
{
    CfdRun* r = fms->cfdRun;
    CfdIdx g = cfd_idx(r);
    double* T = cfd_flat(r->T);
    bool pseudo = r->cfdSteady || r->flowSolutions == 0;
    const double* old = pseudo ? T : cfd_flat(r->TOLD);
    assemble(fms, CFD_EQ_T, r->T, old, 1.0 / r->Pr, r->scheme[3], r->ftsNow[3], 0);
    double sq;
    residual(r, T, res, &sq, ref);
    double* ap = cfd_flat(r->AP);
    double* bs = cfd_flat(r->BS);
    double alpha = r->relax[4];
    for (long p = 0; p < g.points; p++) {
        ap[p] /= alpha;
        bs[p] += (1.0 - alpha) * ap[p] * T[p];
    }
    cfd_sweep(fms, T, cells(r), 1);
    double tmin = r->bound[6], tmax = r->bound[7];
    for (int i = 2; i <= r->ni + 1; i++)
        for (int j = 2; j <= r->nj + 1; j++) {
            long p = cfd_at(g, i, j, 2);
            for (int k = 2; k <= r->nk + 1; k++, p++)
                T[p] = fmin(fmax(T[p], tmin), tmax);
        }
    if (pseudo) {
        double* told = cfd_flat(r->TOLD);
        for (long p = 0; p < g.points; p++)
            told[p] = T[p];
    }
}

void cfd_ctm_assemble(FlowmirState* fms, int m)
{
    CfdRun* r = fms->cfdRun;
    double* C = cfd_flat(r->C[m]);
    const double* old = r->cfdSteady ? C : cfd_flat(r->COLD[m]);
    double dt = r->cfdSteady ? r->ftsNow[6] : r->dt;
    assemble(fms, CFD_EQ_C, r->C[m], old, 1.0, r->scheme[4], dt, m);
}

double cfd_ctm_residual(FlowmirState* fms, int m)
{
    CfdRun* r = fms->cfdRun;
    double sa, sq, ref;
    residual(r, cfd_flat(r->C[m]), &sa, &sq, &ref);
    return sqrt(sq);
}
