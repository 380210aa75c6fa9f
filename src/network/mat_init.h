// Equation numbering and matrix set-up of a run: the airflow equations (one per air node),
// the sparsity structure of their Jacobian, its profile and optional reordering, and the
// storage of the chosen linear solver.
#ifndef FLOWMIR_NETWORK_MAT_INIT_H
#define FLOWMIR_NETWORK_MAT_INIT_H

#include "network/airnet.h"

// Sets up the equation systems after network assembly: the Newton iteration histogram,
// fms->afMat with its numbering and storage, the listing of the numbering, the links that
// need a numerical derivative and the per-node species maxima.
void mat_init(FlowmirState* fms);

// Releases what mat_init created, except the histogram (kept for the end-of-run report and
// released with the other run arrays).
void mat_fre(FlowmirState* fms);

// Numbers the equations (node eqn), builds and analyses the structure, reorders it when that
// pays, allocates ija, sa, b, x and the solver storage and sets every link's offd.
void af_mat_set(FlowmirState* fms, AfMat* mat);

// Releases every array of the record and the record itself.
void af_mat_fre(FlowmirState* fms, AfMat* mat);

#endif
