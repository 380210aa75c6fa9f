// Contaminant exfiltration listings ".cex": the bulk listing (mass of every contaminant that
// left the building since the previous listing) and one detailed listing per contaminant
// ("<project>_<contaminant>.cex", the mass that left through each envelope link).
#ifndef FLOWMIR_RESULTS_CEX_FILE_H
#define FLOWMIR_RESULTS_CEX_FILE_H

#include "engine/state.h"

// Creates the bulk listing (under its temporary name until the run completes) with its header.
void set_ubcex_open(FlowmirState* fms);
// remove 0: the listing is left to be kept when the run completes. remove 1: this run's
// listing is dropped and a listing of an earlier run is deleted when the run completes.
void set_ubcex_close(FlowmirState* fms, int remove);
// The detailed listings, one per contaminant; close as for the bulk listing.
void set_udcex_open(FlowmirState* fms);
void set_udcex_close(FlowmirState* fms, int remove);
// At a listing time (time mod listing step = 0): one line in every open listing; the masses
// listed start again from zero.
void writeCex_stepEnd(FlowmirState* fms, int time);
// The run's totals at the end of the bulk listing.
void writeCex_simEnd(FlowmirState* fms);
// After a fatal error: forgets the listings, whose temporary files the run abandons.
void cexFiles_abandon(FlowmirState* fms);

#endif
