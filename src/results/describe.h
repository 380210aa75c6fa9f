// The assembled network as JSON (flowmir --describe): levels, zones, paths with their ends,
// junctions, ducts, terminals, species, elements and control nodes, written from the state
// record right after assembly, while the project's tables still exist. Tools label results
// by it instead of reading the project file a second time.
#ifndef FLOWMIR_RESULTS_DESCRIBE_H
#define FLOWMIR_RESULTS_DESCRIBE_H

#include <cstdio>

#include "engine/state.h"

// Writes the JSON document to out. Returns 0, or 1 when out failed.
int describe_write(FlowmirState* fms, FILE* out);
// The driver's hook: writes to standard output, then ends the run as an input test does
// (status 0; 2 when assembly reported errors, and then nothing is written).
void describe_network(FlowmirState* fms);

#endif
