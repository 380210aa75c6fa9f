// The linear solvers of the mass-fraction systems: unsymmetric systems in row-indexed storage
// (network/sparse.h) of neq equations, of which the first nvar are solved; the columns above
// nvar belong to equations whose values are given (constant-concentration zones).
//
// Methods: 0 unsymmetric skyline LU (or, when it needs fewer operations or is asked for,
// a sparse LU by KLU on the same pattern), 1 biconjugate gradients, 2 successive
// over-relaxation, 3 dense LU. Every workspace is allocated by sasn_configure; preparing and
// solving allocate nothing.
#ifndef FLOWMIR_TRANSPORT_SASN_H
#define FLOWMIR_TRANSPORT_SASN_H

#include "engine/state.h"
#include "network/airnet.h"

struct SasnKlu;  // the sparse LU's symbolic and numeric objects and its column copy

struct SparseSolver {
    int neq, nvar, nnz;
    const int* ija;     // the system's index array (not owned)
    int method;         // 0..3; 4 not configured
    int maxIter;
    float tol, floor, relax;
    const double* A;    // the matrix of the last sasn_prepMat (not owned)
    // method 0
    Skyline sky;
    SasnKlu* klu;       // set when the sparse LU factors instead of the skyline
    double skyOps, kluOps;  // operation estimates of one factorisation by each
    // method 1: six work vectors of neq ("sasn-bcg")
    double *r, *rr, *p, *pp, *z, *zz;
    // method 2: scaled inverse diagonal ("sasn-sor"); method 1: the inverse diagonal that
    // scales the rows ("sasn-bcg")
    double* d;
    // method 3: dense nvar x nvar ("sasn-aa") and its pivots
    double** aa;
    int* piv;
    double* work;       // neq values: right-hand side and row scale work space
};

// An empty solver (method 4).
void sasn_newInit(SparseSolver* s);
// Sets the method and its settings and allocates its workspace for the pattern ija
// (neq rows, the first nvar solved). For method 0 the skyline profile and, when it is
// cheaper or fms->afFactorChoice asks for it (0 the cheaper, 1 skyline, 2 sparse LU), the
// sparse LU's symbolic analysis are made here, and one line is logged:
// "  factorization by %s (%s): skyline %.0f, sparse LU %.0f multiply-adds\n".
void sasn_configure(FlowmirState* fms, SparseSolver* s, int neq, int nvar, const int* ija, int method, int maxIter,
                    float tol, float floor, float relax);
// Prepares the matrix A (same pattern as ija): factors it (methods 0 and 3) or checks and
// scales its diagonal (method 2).
void sasn_prepMat(FlowmirState* fms, SparseSolver* s, const double* A);
// Solves A x = b for x[1..nvar]; x[nvar+1..neq] hold the given values and are not changed
// (their columns move to the right-hand side). b is not changed. Returns 0, or 1 when an
// iterative method did not reach its tolerance (the last iterate is left in x).
int sasn_solve(FlowmirState* fms, SparseSolver* s, const double* b, double* x);
// Releases the workspace; the solver returns to method 4.
void sasn_free(FlowmirState* fms, SparseSolver* s);

#endif
