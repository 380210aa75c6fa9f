// The notes section that closes a project file: free text for the people who edit it.
#ifndef FLOWMIR_PROJECT_NOTES_H
#define FLOWMIR_PROJECT_NOTES_H

#include "engine/state.h"

// Reads the count and the numbered notes (their text is not kept), then the -999 line.
// Stores and returns the count.
int note_read(FlowmirState* fms);

#endif
