// Sparse L D L' factorisation of the first n equations of a symmetric matrix kept in the
// lower-triangle row-indexed storage (ija/sa), on an approximate-minimum-degree ordering.
//
// Everything that depends only on the structure is done once by ldl_analyse: the ordering,
// the elimination tree, the storage of L and, for every row of L, its pattern in topological
// order with the position of each entry. The matrix itself is never copied: the analysis
// keeps, for each column of the permuted upper triangle, the rows and the positions of its
// values in sa, so a factorisation reads sa in permuted order directly and writes only Lx and
// the inverse pivots.
#ifndef FLOWMIR_AIRFLOW_LDLT_H
#define FLOWMIR_AIRFLOW_LDLT_H

#include "network/airnet.h"

struct SparseLdl {
    int n;
    int nzA;         // strictly upper entries of the permuted matrix
    int nzL;         // strictly lower entries of L
    int* perm;       // [0..n-1] permuted k -> equation perm[k] + 1
    int* Ap;         // [0..n] column starts of the permuted upper triangle
    int* Ai;         // [0..nzA-1] its rows (permuted, < column)
    int* Apos;       // [0..nzA-1] positions of its values in sa
    int* Lp;         // [0..n] column starts of L
    int* Li;         // [0..nzL-1] rows of L, ascending within a column
    int* Rp;         // [0..n] starts of the row patterns of L
    int* Ri;         // [0..nzL-1] columns of row k, in topological order
    int* Rpos;       // [0..nzL-1] position in Lx of each row-pattern entry
    double* Lx;      // [0..nzL-1]
    double* Dinv;    // [0..n-1] inverse pivots
    double* y;       // [0..n-1] work vector
    double opsLdl;   // multiply-adds of one factorisation
};

// Analyses the structure of rows 1..n of the minimal lower-triangle index array ija. The
// result owns tracked memory; release it with ldl_fre.
SparseLdl* ldl_analyse(FlowmirState* fms, int n, const int* ija);
void ldl_fre(FlowmirState* fms, SparseLdl* ldl);

// Multiply-adds of the symmetric skyline factorisation of the same rows (its profile).
double sky_ops(int n, const int* ija);

// Factorises the values sa (counted with the skyline factorisations of the Jacobian); a
// pivot below machine epsilon in magnitude is reported as the skyline reports it (zero: FATAL).
void ldl_factor(FlowmirState* fms, SparseLdl* ldl, const double* sa);
// Solves in place in x[1..n] with the factorised matrix.
void ldl_solve(FlowmirState* fms, SparseLdl* ldl, double* x);

#endif
