// Small string helpers of the readers.
#ifndef FLOWMIR_SUPPORT_STRUTIL_H
#define FLOWMIR_SUPPORT_STRUTIL_H

#include <cstddef>

#include "engine/state.h"

int streql(const char* a, const char* b);
// Pieces closed by an empty string.
char* strcpys(char* out, size_t size, const char* piece1, ...);
char* FileNameFix(FlowmirState* fms, char* text);
// list: array of strings closed by an empty string.
int lin_search(FlowmirState* fms, const char* word, const char* const* list);

#endif
