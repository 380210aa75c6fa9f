// Conjugate gradients preconditioned by an incomplete Cholesky factorisation without fill,
// for the symmetric airflow matrix stored as its lower triangle (the minimal ija/sa).
#ifndef FLOWMIR_AIRFLOW_PCG_H
#define FLOWMIR_AIRFLOW_PCG_H

#include "network/airnet.h"

// Builds mat->pcg from mat->ija over the first mat->nvar equations: the upper and lower
// split of the pattern, its cross references, and the work vectors of mat->neq entries.
// A missing cross reference is an ERROR. Returns the error count of the call (0 when sound).
int pcg_alc(FlowmirState* fms, AfMat* mat);
// Releases mat->pcg and everything in it.
void pcg_fre(FlowmirState* fms, AfMat* mat);

// Copies mat->sa into the split and factorises it: A ~ U' D U with U unit upper; the
// diagonal receives 1/D and the lower copy U'. A non-positive pivot is FATAL.
void pcg_factor(FlowmirState* fms, AfMat* mat);

// Solves A x = b for the first nvar equations, starting from the x already there; the
// remaining entries of x are set to b. Returns the iterations made (0 when the start
// already solves the system, which then stays as it was).
int sa_pcg(FlowmirState* fms, AfMat* mat);

#endif
