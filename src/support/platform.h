// The few operating-system services the engine needs, behind one small interface.
#ifndef FLOWMIR_SUPPORT_PLATFORM_H
#define FLOWMIR_SUPPORT_PLATFORM_H

#include <cstdio>

// Path of the loaded engine module (the shared object or the program it is linked into).
const char* platformModulePath(void);
// Last-write time of a file as the 24-character local-time text plus newline; "" when missing.
int platformFileTime(const char* path, char* out, int outLength);
// Open a file for writing, shared for reading but held against other writers; null when held.
FILE* platformOpenExclusive(const char* path);
// Processor time of the process, s.
double platformCpuSeconds(void);
// Keyboard: a waiting key without blocking, 0 when none or when standard input is no terminal.
int platformKeyNowait(void);
int platformStdinIsTerminal(void);
// Same file on disk (device and inode).
int platformSameFile(const char* a, const char* b);

#endif
