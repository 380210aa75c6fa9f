// Pieces of the mass-fraction solvers shared between their source files.
#ifndef FLOWMIR_TRANSPORT_SASN_IMPL_H
#define FLOWMIR_TRANSPORT_SASN_IMPL_H

#include "transport/sasn.h"

// out[i] = b[i] - sum over the given columns k > nvar of A[i,k] x[k], i = 1..nvar.
void sasn_givenToRhs(const SparseSolver* s, const double* A, const double* b, const double* x, double* out);

// Successive over-relaxation: the diagonal check and scale, and the sweeps.
void sasn_sorPrep(FlowmirState* fms, SparseSolver* s);
int sasn_sorSolve(FlowmirState* fms, SparseSolver* s, const double* b, double* x);
// Biconjugate gradients on the diagonally scaled rows.
int sasn_bcgSolve(FlowmirState* fms, SparseSolver* s, const double* b, double* x);

// The sparse LU of the solved block. sasn_kluSetup analyses the pattern and factors a trial
// matrix; it returns null when the library refuses, and gives the multiply-adds of one
// factorisation in *ops.
SasnKlu* sasn_kluSetup(FlowmirState* fms, int nvar, const int* ija, double* ops);
void sasn_kluFree(FlowmirState* fms, SasnKlu*& klu);
void sasn_kluFactor(FlowmirState* fms, SasnKlu* klu, const double* A);
// Solves in place in x[1..nvar].
void sasn_kluSolve(FlowmirState* fms, SasnKlu* klu, double* x);

#endif
