// Pieces the two control value files read alike: where a fault lies, the period, the column
// count and names, and record values that must be numbers within single precision.
#ifndef FLOWMIR_CONTROLS_VF_READ_H
#define FLOWMIR_CONTROLS_VF_READ_H

#include <cstddef>

#include "engine/state.h"

enum { VF_NAME_LEN = 16, VF_WORD_LEN = 4096, VF_PLACE_LEN = 600, VF_RECORD_LEN = 48 };

// " (line 7 of CVF file a.cvf)": the line of byte `offset` of the current input (-1: where the
// reader stands), or " (CVF file a.cvf)" once the input is gone.
const char* vf_place(FlowmirState* fms, const char* word, const char* path, long offset, char* out);

// "1/2 06:00:00": the record the bracket has just accepted.
const char* vf_recordText(FlowmirState* fms, const Bracket* b, char* out, size_t length);

// Start and end dates of the file; FATAL when they are missing.
void vf_readPeriod(FlowmirState* fms, const char* word, const char* path, int* first, int* last);

// The period must hold every day from startDay to endDay (across the year's end: up to 365 and
// from day 1). Faults are reported with `severity`; returns the number reported.
int vf_checkPeriod(FlowmirState* fms, const char* word, int first, int last, int startDay, int endDay,
                   int severity);

// The number of columns, on a new line; 0 is allowed, a negative count or one the rest of the
// file cannot hold names for is FATAL.
int vf_readCount(FlowmirState* fms, const char* word, const char* path);

// Column k (0-based) of n, its name the first word of a new line: at most 15 characters.
void vf_readName(FlowmirState* fms, const char* word, const char* path, int k, int n, char name[VF_NAME_LEN]);

// A value the record (text `record`, starting at byte recordAt) holds in the word `text`, `what`
// naming it ("column 2"). Not a number: ERROR, then FATAL "Error encountered while reading
// <word> file"; not finite or beyond single precision: FATAL.
float vf_number(FlowmirState* fms, const char* word, const char* path, const char* record, const char* what,
                const char* text, long recordAt);

// Byte offset where the reader stands, -1 when the input is gone.
long vf_offset(FlowmirState* fms);

// The column names are dropped once the control nodes are connected.
void cvf_free_names(FlowmirState* fms);
void dvf_free_names(FlowmirState* fms);

#endif
