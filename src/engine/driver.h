// Pieces of the run sequence shared by its end functions.
#ifndef FLOWMIR_ENGINE_DRIVER_H
#define FLOWMIR_ENGINE_DRIVER_H

#include "engine/run.h"

// Releases every run array and both block lists.
void releaseRunMemory(FlowmirState* fms);

#endif
