// The CFD solver's internals: flat views of the field arrays, the discretised equation and
// its pieces (momentum, pressure correction, scalars, openings and walls, line sweeps and
// multigrid).
//
// Every field of the grid is one contiguous block (the tracked three-dimensional arrays keep
// their elements together), so the solver works on flat offsets: point (i, j, k) of indices
// 1..n+2 lies at (i - 1)*si + (j - 1)*sj + (k - 1).
#ifndef FLOWMIR_CFD_CFD_SOLVE_H
#define FLOWMIR_CFD_CFD_SOLVE_H

#include "cfd/cfd.h"

// The equations of an outer iteration, in the residual line's order.
enum { CFD_EQ_U = 0, CFD_EQ_V, CFD_EQ_W, CFD_EQ_T, CFD_EQ_C };

struct CfdIdx {
    int n[3];    // cells per direction
    long s[3];   // strides: si, sj, 1
    long points; // grid points
};

inline CfdIdx cfd_idx(const CfdRun* r)
{
    CfdIdx g;
    g.n[0] = r->ni;
    g.n[1] = r->nj;
    g.n[2] = r->nk;
    g.s[2] = 1;
    g.s[1] = r->nk + 2;
    g.s[0] = (long)(r->nj + 2) * (r->nk + 2);
    g.points = (long)(r->ni + 2) * g.s[0];
    return g;
}

inline long cfd_at(const CfdIdx& g, int i, int j, int k)
{
    return (i - 1) * g.s[0] + (j - 1) * g.s[1] + (k - 1);
}

inline double* cfd_flat(double*** a) { return &a[1][1][1]; }
inline int* cfd_flat(int*** a) { return &a[1][1][1]; }

// A box of points (inclusive index ranges) over which an equation is solved.
struct CfdBox {
    int lo[3], hi[3];
};

// The scheme function of the convection schemes: code 1 upwind, otherwise the power law.
double cfd_scheme(int code, double peclet);

// cfd_solve_mom.cpp: one velocity component's equation, assembled and swept; returns the
// residual and sets its reference.
void cfd_momentum(FlowmirState* fms, int d, double* residual, double* reference);
// cfd_solve_pc.cpp: the pressure correction and the corrections of velocity and pressure.
void cfd_pressure_correction(FlowmirState* fms);
// cfd_solve_scalar.cpp: energy, and one contaminant's equation assembled (not solved).
void cfd_energy(FlowmirState* fms, double* residual, double* reference);
void cfd_ctm_assemble(FlowmirState* fms, int m);
double cfd_ctm_residual(FlowmirState* fms, int m);
// cfd_solve_bc.cpp: boundary values of openings, walls and blocks.
void cfd_openings(FlowmirState* fms, int iteration);
void cfd_wall_values(FlowmirState* fms);
void cfd_bcpatch(FlowmirState* fms);
void cfd_opening_correct(FlowmirState* fms);
void cfd_opening_results(FlowmirState* fms);
void cfd_opening_ctm(FlowmirState* fms);
// The boundary faces of a scalar equation (phi: T or a contaminant field): openings, wall
// patches and block and wall sources.
void cfd_scalar_boundaries(FlowmirState* fms, int eq, double*** phi, int m);

// Visits the cells behind an object's face: f(cell, boundary point, face area). The face's
// normal direction is face / 2; the boundary point is the layer outside.
template <class F> void cfd_face_cells(const CfdRun* r, const CfdRange& q, int face, F f)
{
    CfdIdx g = cfd_idx(r);
    int d = face / 2;
    int a = (d + 1) % 3, b = (d + 2) % 3;
    const double* del[3] = {r->DELX, r->DELY, r->DELZ};
    int idx[3];
    for (idx[0] = q.lo[0]; idx[0] <= q.hi[0]; idx[0]++)
        for (idx[1] = q.lo[1]; idx[1] <= q.hi[1]; idx[1]++)
            for (idx[2] = q.lo[2]; idx[2] <= q.hi[2]; idx[2]++) {
                long c = cfd_at(g, idx[0], idx[1], idx[2]);
                long bp = face % 2 == 0 ? c - g.s[d] : c + g.s[d];
                f(c, bp, del[a][idx[a]] * del[b][idx[b]]);
            }
}
// cfd_solve_visc.cpp: effective viscosity and cell-centre velocities.
void cfd_viscosity(FlowmirState* fms);
void cfd_centre_velocities(FlowmirState* fms);
void cfd_layers_from_cells(const CfdRun* r, double* field);
// A discretised system on a grid of n cells per direction (points 1..n+2): the neighbour
// coefficients below and above along each direction, the centre coefficient, the source.
struct CfdSys {
    double *lo[3], *hi[3], *ap, *bs;
    long s[3];
    int n[3];
};

// cfd_solve_sweep.cpp: line sweeps over a box, the fine grid's coefficients in AE..AB, AP, BS.
void cfd_sweep(FlowmirState* fms, double* phi, const CfdBox& box, int cycles);
void cfd_sys_sweep(FlowmirState* fms, const CfdSys& q, double* phi, const CfdBox& box, int cycles);
CfdSys cfd_fine_sys(CfdRun* r);
// cfd_solve_mg.cpp: the three-level multigrid cycle for the pressure correction.
void cfd_mg_alloc(FlowmirState* fms);
void cfd_mg_free(FlowmirState* fms);
void cfd_mg_solve(FlowmirState* fms, double* phi, const CfdBox& box);

#endif
