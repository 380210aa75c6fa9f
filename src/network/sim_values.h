// Where a component's controlled value comes from, resolved once during network assembly.
#ifndef FLOWMIR_NETWORK_SIM_VALUES_H
#define FLOWMIR_NETWORK_SIM_VALUES_H

#include "engine/state.h"

// The value a component follows: its control node's output (ctrlNr > 0), else its value-file
// column (vfType 1 CVF, 2 DVF, named key), else its week schedule's value (wshNr > 0), else
// `none`. A week schedule read this way counts one more use.
float* sim_value_pointer(FlowmirState* fms, int ctrlNr, int vfType, const char* key, int wshNr, float* none);

#endif
