// The text stream reader: one input stream per state record, words, lines and comments.
#ifndef FLOWMIR_SUPPORT_NXT_H
#define FLOWMIR_SUPPORT_NXT_H

#include "engine/state.h"

int nxtopen(FlowmirState* fms, const char* path, const char* callerFile, int callerLine);
int nxtclose(FlowmirState* fms);
void nxtrewind(FlowmirState* fms);
int nxtseek(FlowmirState* fms, long offset, int origin);
int nxttell(FlowmirState* fms);
// Whether the input has ended (or none is open): loops over counts read from the input stop
// there instead of reading nothing for as long as the count says.
int nxt_at_end(FlowmirState* fms);

// Modes: 0 next word; 1 skip rest of line, then word; 2 rest of line;
// 3 next whole line skipping "!" lines; 4 next whole line.
char* nxtwrd(FlowmirState* fms, char* buffer, int mode, int bufferLength);

int skip_data(FlowmirState* fms);
int same_data(FlowmirState* fms, FILE* out);
int same_line(FlowmirState* fms, FILE* out);

#endif
