// Contaminant mass crossing the building envelope: the list of links with the ambient at an
// end, the per-step and accumulated masses entering and leaving through them, and the
// contaminant bookkeeping at the end of every step.
#ifndef FLOWMIR_RESULTS_ENVELOPE_MASS_H
#define FLOWMIR_RESULTS_ENVELOPE_MASS_H

#include "engine/state.h"

// Counts the envelope links and, when the contaminant summary or an exfiltration listing
// wants them, lists them and allocates the accounting arrays. Network assembly calls it once
// the links exist (the air-handling systems are still listed then).
void EnvListsCsmCex_setup(FlowmirState* fms);
// Releases what the setup allocated.
void EnvListsCsmCex_free(FlowmirState* fms);

// Books one step of dt seconds: the mass each contaminant carries in and out through the
// envelope links, the totals and the amounts still to be listed.
void sum_ambient_compute(FlowmirState* fms, double dt);

// The contaminant bookkeeping after the species of a step are solved: source and sink totals,
// filter loading, envelope accounting and the exfiltration listing lines.
void process_mf_results(FlowmirState* fms);
// Its part after the source and sink sums: exposures, filter loadings, the exchange with the
// ambient and the exfiltration listings (the short-time-step method sums while it solves).
void process_mf_exchange(FlowmirState* fms);

#endif
