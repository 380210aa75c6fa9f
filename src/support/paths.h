// Project paths: split, merge, separators, file copy.
#ifndef FLOWMIR_SUPPORT_PATHS_H
#define FLOWMIR_SUPPORT_PATHS_H

#include <cstdio>

#include "engine/state.h"

int pathsplit(FlowmirState* fms, const char* path, char* drive, int driveLength, char* dir, int dirLength,
              char* name, int nameLength, char* ext, int extLength);
void pathmerge(FlowmirState* fms, char* out, int outLength, const char* drive, const char* dir,
               const char* name, const char* ext);
void convertDirChars(FlowmirState* fms, char* text);
void setDirChar(FlowmirState* fms, char c);
char getDirChar(FlowmirState* fms);
int fileCopy(FILE* logStream, const char* from, const char* to);
FILE* openFile(const char* path, const char* mode);

#endif
