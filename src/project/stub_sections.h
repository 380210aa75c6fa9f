// Project sections of kinds the engine does not simulate yet (species, schedules, reactions,
// filters, sources and sinks, controls, occupancy and exposures). An empty section reads; a
// section with records is refused, so that a project is never simulated without them.
#ifndef FLOWMIR_PROJECT_STUB_SECTIONS_H
#define FLOWMIR_PROJECT_STUB_SECTIONS_H

#include "engine/state.h"

// Reads the count (new line) into *count. 0: tests the -999 line. Otherwise reports
// "<name> section: this engine does not yet simulate <what>" and leaves the rest unread.
// Returns the count.
int stub_section_read(FlowmirState* fms, const char* name, const char* what, int* count);

#endif
