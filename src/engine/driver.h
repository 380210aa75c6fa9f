// Pieces of the run sequence shared by its end functions.
#ifndef FLOWMIR_ENGINE_DRIVER_H
#define FLOWMIR_ENGINE_DRIVER_H

#include "engine/run.h"

// Airflow nodes (ambient included) and links of the network.
void networkCounts(FlowmirState* fms, int* nodes, int* links);
// Releases every run array and both block lists.
void releaseRunMemory(FlowmirState* fms);

#endif
