// Conventions shared by every project-file section.
#ifndef FLOWMIR_PROJECT_SECTION_H
#define FLOWMIR_PROJECT_SECTION_H

#include "engine/state.h"

// Errors reported so far (error count query).
int prj_errors(FlowmirState* fms);
// Reads the first word of a new line and tests it for the -999 terminator: logs
// "%s section read successfully.\n" or reports the section read error. Returns 0 when it was -999.
int prj_section_end(FlowmirState* fms, const char* name);
// Reads a record number at the start of a new line and reports "<kind> number mis-match: %d"
// with the expected number when it differs. Returns 0 when it matches.
int prj_record_number(FlowmirState* fms, const char* kind, int expected);

#endif
