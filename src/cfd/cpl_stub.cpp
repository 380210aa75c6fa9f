// Placeholder for the coupling's side of a coupled CFD call.
#include "cfd/cfd.h"

void incfd(FlowmirState*) {}
void outcfd(FlowmirState*) {}
