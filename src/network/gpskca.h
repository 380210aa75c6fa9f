// Profile- or bandwidth-reducing renumbering of a symmetric structure: the
// Gibbs-Poole-Stockmeyer level structure with the Gibbs-King numbering for profile.
#ifndef FLOWMIR_NETWORK_GPSKCA_H
#define FLOWMIR_NETWORK_GPSKCA_H

#include "engine/state.h"

// Renumbers the n nodes of a symmetric structure. The neighbours of node i, the node itself
// included, are connec[rstart[i] .. rstart[i+1]-1] (rstart[1..n+1], any base).
// On success perm[old] = new for 1..n and the result is 0. The profile (profile != 0) or the
// bandwidth (profile == 0) of the new numbering is smaller than the old one's, or perm is
// the identity. An invalid structure is reported in warnings and gives a nonzero result.
int gpskca(FlowmirState* fms, int n, const int* rstart, const int* connec, int* perm, int profile);

#endif
