// The strict project check (--check): the project is read as by the input test, and on top of
// the reader's own errors the check reports, each with its line and the word's place on it,
// values left over on a line, integers that read as octal and section counts that do not match
// their records. Findings go to standard
// output as "PATH:LINE:FIELD: kind: message"; line and field 0 mean no place in the file.
// Every hook returns at once unless the check is on.
#ifndef FLOWMIR_PROJECT_CHECK_H
#define FLOWMIR_PROJECT_CHECK_H

#include "engine/state.h"

// Before anything is read: every report from here on is also a finding.
void check_install(FlowmirState* fms);
// The project file has been opened / is about to be closed: the reader is tracked in between.
void check_begin(FlowmirState* fms);
void check_end(FlowmirState* fms);
// Section nr of the fixed order is about to be read.
void check_section(FlowmirState* fms, int nr);
// The terminator of section `name` was read as `word`.
void check_section_end(FlowmirState* fms, const char* name, const char* word);
// A record number nr was read where record `expected` should begin.
void check_record(FlowmirState* fms, int expected, int nr);
// The rest of the current line is free text that is meant to be skipped.
void check_free_text(FlowmirState* fms);
// The exit status of an input test that completed: 2 when the check found anything.
int check_status(FlowmirState* fms, int status);

#endif
