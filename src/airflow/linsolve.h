// The linear solve of one Newton step: A x = b for the airflow matrix by the solver the
// matrix record names (skyline, conjugate gradients or dense).
#ifndef FLOWMIR_AIRFLOW_LINSOLVE_H
#define FLOWMIR_AIRFLOW_LINSOLVE_H

#include "network/airnet.h"

// Solves A x = b over the first nvar equations of mat; the constant-pressure equations
// (identity rows) get x = b. Returns the conjugate-gradient iterations (0 for the direct
// solvers).
int solve_slae(FlowmirState* fms, AfMat* mat);

#endif
