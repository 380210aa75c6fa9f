// The contaminant summary ".csm", written once at the end of a run with a contaminant
// simulation: the species, every source and sink with the mass it released, removed and holds,
// the filters' challenges, loadings and breakthroughs, and the exchange with the ambient.
#ifndef FLOWMIR_RESULTS_SUMMARY_CSM_H
#define FLOWMIR_RESULTS_SUMMARY_CSM_H

#include "engine/state.h"

// Writes the summary when it is asked for; otherwise the project's ".csm" file is deleted when
// the run completes.
void writeCsm_simEnd(FlowmirState* fms);

#endif
