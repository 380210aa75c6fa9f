// Profile analysis of a structure array and its renumbering to a smaller profile.
#ifndef FLOWMIR_NETWORK_PROFILE_H
#define FLOWMIR_NETWORK_PROFILE_H

#include "engine/state.h"

// Average profile (*profile) and bandwidth (the result) of rows 1..n of a structure array;
// both are written to the log.
int ija_prfl(FlowmirState* fms, int n, const int* ijaS, double* profile);

// Looks for a numbering of the first n of neq equations with a smaller profile. perm[1..neq]
// receives the new number of each old equation (equations past n keep theirs). Returns 1
// when the numbering changes, 0 otherwise (perm then is the identity). nelem is the length
// of ijaS, ijaS[neq + 1] - 1.
int ija_optord(FlowmirState* fms, const int* ijaS, int* perm, int nelem, int neq, int n);

// Renumbers rows and columns of the structure array ijaS[1..nelem] of neq rows by perm,
// in place, with the columns of each row kept in ascending order.
void ija_reorder(FlowmirState* fms, int* ijaS, const int* perm, int nelem, int neq);

#endif
